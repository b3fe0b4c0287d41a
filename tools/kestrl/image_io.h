// Writing the outputs: PBM for one-bit planes, 4-level PGM for two-bit
// planes, PNG for the preview. Every write is checked through the close, so
// a full disk is reported rather than leaving a short file behind.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kestrl::tool {

struct Image {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t channels = 0;        // 1 (grey) or 3 (RGB)
  std::vector<uint8_t> pixels;  // row after row, 8 bits per channel
};

bool writePng(const std::string& path, const Image& image, std::string& error);

// A plane file written band by band. One-bit rows of (width + 7) / 8 bytes,
// most significant bit first, 1 = dot, are exactly the PBM (P4) raster; a
// two-bit plane becomes a PGM with maxval 3 whose grey is 3 - dot code:
// white for no dot, black for a large dot.
class PlaneFile {
 public:
  // Creates the file and writes the header; false with a message.
  bool open(const std::string& path, uint32_t width, uint32_t height, uint32_t bits,
            std::string& error);
  // Appends `count` packed rows of `rowBytes` bytes each.
  bool write(const uint8_t* rows, size_t rowBytes, uint32_t count, std::string& error);
  // Flushes and closes; a failure of either is reported.
  bool close(std::string& error);
  const std::string& path() const { return path_; }

 private:
  std::unique_ptr<FILE, int (*)(FILE*)> file_{nullptr, std::fclose};
  std::string path_;
  uint32_t width_ = 0, bits_ = 1;
  std::vector<uint8_t> grey_;
};

}  // namespace kestrl::tool
