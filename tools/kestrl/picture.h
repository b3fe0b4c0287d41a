// Input pictures, read band by band onto the printer grid.
//
// Every picture format goes through libvips (JPEG, PNG, TIFF, WebP, GIF,
// PNM and whatever else the installed library reads): the EXIF orientation
// is applied, alpha is laid over white paper, an embedded colour profile is
// converted to sRGB, 16-bit samples are reduced to 8, and the picture is
// resampled onto the grid with a proper shrinking filter or smooth
// enlargement. A CMYK picture keeps its four ink levels unless it is asked
// for as RGB or grey.
//
// A PDF page is drawn by the PDF renderer straight onto the printer grid,
// one band of lines at a time, each band drawing only its own strip of the
// page; a page of any size therefore needs memory for one band.
//
// Either way the picture streams: memory depends on the line width, not on
// the page height.
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
  uint32_t width = 0, height = 0;  // upright; a PDF page in points
  PictureKind kind = PictureKind::kGrey;
  std::string name;               // the file name, or "standard input"
  std::string format;             // e.g. "PNG", "JPEG", "PDF"
  bool profileConverted = false;  // an embedded colour profile was converted to sRGB
  uint32_t page = 1, pages = 1;   // which page of how many (PDF, TIFF, GIF, WebP)
  // The picture's own size when it states its resolution, else 0.
  double widthInches = 0, heightInches = 0;
  uint32_t orientation = 1;    // the EXIF orientation as stored, 1 when upright
  bool turnedUpright = false;  // that orientation was applied
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
  double dpi = 0;             // a PDF page's drawing resolution; 0: straight onto the grid
  bool inksAsColour = false;  // convert CMYK through a profile instead of keeping ink levels
  bool autorotate = true;     // apply the EXIF orientation
  bool verbose = false;       // print the image libraries' warnings as they come
};

// Pictures larger than this many pixels are refused before any decoding.
inline constexpr uint64_t kMaxImagePixels = uint64_t{1} << 28;

// Widest strip a PDF page is drawn in at --dpi, in pixels.
inline constexpr uint32_t kMaxDrawingWidth = 1u << 17;

// Opens a picture; null with a one-line message for a missing, unreadable,
// damaged or oversized file, or a page it does not have.
std::unique_ptr<Picture> openPicture(const PictureRequest& request, std::string& error);

// A picture held in memory (the demo's).
std::unique_ptr<Picture> pictureFromImage(const Image& image, std::string& error);

}  // namespace kestrl::tool
