#include "kestrl/image_io.h"

#include <png.h>

#include <cerrno>
#include <cstring>

namespace kestrl::tool {

namespace {

std::string systemError(const std::string& path, const char* what) {
  return path + ": " + what + " (" + std::strerror(errno) + ")";
}

// Closes the file and reports a failure of the final flush or the close.
bool closeChecked(FILE* file, const std::string& path, std::string& error) {
  const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
  const bool closed = std::fclose(file) == 0;
  if (!flushed || !closed) {
    error = systemError(path, "cannot write");
    return false;
  }
  return true;
}

}  // namespace

bool writePng(const std::string& path, const Image& image, std::string& error) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    error = systemError(path, "cannot create");
    return false;
  }
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = image.width;
  png.height = image.height;
  png.format = image.channels == 3 ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
  png.flags = PNG_IMAGE_FLAG_FAST;  // a preview: speed over the last bytes of size
  if (!png_image_write_to_stdio(&png, file, 0, image.pixels.data(), 0, nullptr)) {
    error = path + ": cannot write PNG (" + png.message + ")";
    std::fclose(file);
    return false;
  }
  return closeChecked(file, path, error);
}

bool PlaneFile::open(const std::string& path, uint32_t width, uint32_t height, uint32_t bits,
                     std::string& error) {
  path_ = path;
  width_ = width;
  bits_ = bits;
  file_.reset(std::fopen(path.c_str(), "wb"));
  if (!file_) {
    error = systemError(path, "cannot create");
    return false;
  }
  const std::string size = std::to_string(width) + " " + std::to_string(height) + "\n";
  const std::string header = bits == 1 ? "P4\n" + size : "P5\n" + size + "3\n";
  if (std::fwrite(header.data(), 1, header.size(), file_.get()) != header.size()) {
    error = systemError(path, "cannot write");
    return false;
  }
  return true;
}

bool PlaneFile::write(const uint8_t* rows, size_t rowBytes, uint32_t count, std::string& error) {
  const uint8_t* data = rows;
  size_t size = rowBytes * count;
  if (bits_ == 2) {
    grey_.resize(size_t{width_} * count);
    for (uint32_t y = 0; y < count; ++y) {
      const uint8_t* row = rows + y * rowBytes;
      uint8_t* out = grey_.data() + size_t{y} * width_;
      for (uint32_t x = 0; x < width_; ++x)
        out[x] = static_cast<uint8_t>(3 - ((row[x / 4] >> (6 - 2 * (x % 4))) & 3));
    }
    data = grey_.data();
    size = grey_.size();
  }
  if (std::fwrite(data, 1, size, file_.get()) != size) {
    error = systemError(path_, "cannot write");
    return false;
  }
  return true;
}

bool PlaneFile::close(std::string& error) {
  if (!file_) return true;
  return closeChecked(file_.release(), path_, error);
}

}  // namespace kestrl::tool
