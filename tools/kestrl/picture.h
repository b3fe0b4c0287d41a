// Input pictures, read band by band onto the printer grid.
//
// Every format goes through libvips (JPEG, PNG, TIFF, WebP, PNM, PDF pages
// and whatever else the installed library reads): alpha is laid over white
// paper, an embedded colour profile is converted to sRGB, 16-bit samples are
// reduced to 8, and the picture is resampled onto the grid with a proper
// shrinking filter or smooth enlargement. A CMYK picture keeps its four ink
// levels unless it is asked for as RGB or grey. Binary PNM and plain PNG
// pictures (8 bits or fewer, no transparency, no profile, not interlaced)
// that need no resampling are decoded by the command itself, so that small
// jobs do not pay for loading the image library.
//
// Either way the picture streams: decoding and resampling of the next band
// run on another core while the current band is halftoned, and memory
// depends on the line width, not on the page height.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "kestrl/image_io.h"

namespace kestrl::tool {

// What a pixel holds: the value is the number of 8-bit samples.
enum class PictureKind : uint32_t { kGrey = 1, kColour = 3, kInks = 4 };

struct PictureInfo {
  uint32_t width = 0, height = 0;
  PictureKind kind = PictureKind::kGrey;
  std::string name;               // the file name, or "standard input"
  std::string format;             // e.g. "PNG", "JPEG", "PDF"
  bool profileConverted = false;  // an embedded colour profile was converted to sRGB
  uint32_t page = 1, pages = 1;   // which page of how many (PDF, multi-page TIFF)
  double dotsPerInch = 0;         // the picture's own resolution, 0 when it states none
};

// Receives the picture's lines, top to bottom, a band at a time.
class BandSink {
 public:
  virtual ~BandSink() = default;
  // `count` lines starting at line `first`, `stride` bytes apart. Returning
  // false stops the stream.
  virtual bool band(const uint8_t* lines, size_t stride, uint32_t first, uint32_t count) = 0;
};

class Picture {
 public:
  virtual ~Picture() = default;
  const PictureInfo& info() const { return info_; }

  // Streams the picture resampled to `width` x `height` pixels into the
  // sink. False when the picture turns out damaged (message in `error`) or
  // the sink stopped (empty `error`).
  virtual bool stream(uint32_t width, uint32_t height, BandSink& sink, std::string& error) = 0;

 protected:
  PictureInfo info_;
};

struct PictureRequest {
  std::string path;           // "-" reads standard input
  uint32_t page = 1;          // 1 for the first page
  double dpi = 72;            // resolution a PDF page is drawn at
  bool inksAsColour = false;  // convert CMYK through a profile instead of keeping ink levels
};

// Pictures larger than this many pixels are refused before any decoding.
inline constexpr uint64_t kMaxImagePixels = uint64_t{1} << 28;

// Lines per band of the command's own decoders.
inline constexpr uint32_t kBandLines = 64;

// Opens a picture; null with a one-line message for a missing, unreadable,
// damaged or oversized file.
std::unique_ptr<Picture> openPicture(const PictureRequest& request, std::string& error);

// A picture held in memory (the demo's).
std::unique_ptr<Picture> pictureFromImage(const Image& image);

}  // namespace kestrl::tool
