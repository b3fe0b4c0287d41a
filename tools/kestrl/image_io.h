// Reading the input picture (PNG or PNM, grey or RGB) and writing the
// outputs: PBM for one-bit planes, 4-level PGM for two-bit planes, PNG for
// the preview.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestrl::tool {

struct Image {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t channels = 0;        // 1 (grey) or 3 (RGB)
  std::vector<uint8_t> pixels;  // row after row, 8 bits per channel
};

// Pictures larger than this many pixels are refused before any allocation.
inline constexpr uint64_t kMaxImagePixels = uint64_t{1} << 28;

// Reads a PNG (any colour type; alpha is laid over white paper, 16-bit
// samples are reduced to 8) or a PNM (P2, P3, P5, P6; any maxval). Returns
// false with a message for an unreadable, truncated or malformed file.
bool readImage(const std::string& path, Image& image, std::string& error);
bool decodePnm(const std::vector<uint8_t>& bytes, Image& image, std::string& error);

bool writePng(const std::string& path, const Image& image, std::string& error);

// A one-bit plane, rows of (width + 7) / 8 bytes, most significant bit
// first, 1 = dot: exactly the PBM (P4) raster.
bool writePbm(const std::string& path, uint32_t width, uint32_t height, const uint8_t* rows,
              std::string& error);

// A two-bit plane, rows of (width + 3) / 4 bytes, as a PGM with maxval 3
// whose grey is 3 - dot code: white for no dot, black for a large dot.
bool writeFourLevelPgm(const std::string& path, uint32_t width, uint32_t height,
                       const uint8_t* rows, std::string& error);

}  // namespace kestrl::tool
