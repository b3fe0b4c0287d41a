#include "kestrl/image_io.h"

#include <png.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

namespace kestrl::tool {

namespace {

bool readPng(const std::string& path, Image& image, std::string& error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) {
    error = path + ": not a readable PNG (" + png.message + ")";
    return false;
  }
  const bool colour = (png.format & PNG_FORMAT_FLAG_COLOR) != 0;
  png.format = colour ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
  if (uint64_t{png.width} * png.height > kMaxImagePixels) {
    png_image_free(&png);
    error = path + ": picture too large";
    return false;
  }
  image.width = png.width;
  image.height = png.height;
  image.channels = colour ? 3 : 1;
  image.pixels.assign(PNG_IMAGE_SIZE(png), 0);
  png_color white{255, 255, 255};
  if (!png_image_finish_read(&png, &white, image.pixels.data(), 0, nullptr)) {
    error = path + ": damaged or truncated PNG (" + png.message + ")";
    png_image_free(&png);
    return false;
  }
  return true;
}

// A PNM header or ASCII sample: skips white space and comments.
class PnmReader {
 public:
  explicit PnmReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  bool number(uint32_t& value) {
    while (pos_ < bytes_.size() && (std::isspace(bytes_[pos_]) || bytes_[pos_] == '#')) {
      if (bytes_[pos_] == '#') {
        while (pos_ < bytes_.size() && bytes_[pos_] != '\n') ++pos_;
      } else {
        ++pos_;
      }
    }
    if (pos_ >= bytes_.size() || !std::isdigit(bytes_[pos_])) return false;
    uint64_t v = 0;
    while (pos_ < bytes_.size() && std::isdigit(bytes_[pos_])) {
      v = v * 10 + (bytes_[pos_++] - '0');
      if (v > 0xFFFFFFFFu) return false;
    }
    value = static_cast<uint32_t>(v);
    return true;
  }
  size_t pos() const { return pos_; }
  void skip(size_t n) { pos_ += n; }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t pos_ = 2;
};

}  // namespace

bool decodePnm(const std::vector<uint8_t>& bytes, Image& image, std::string& error) {
  if (bytes.size() < 2 || bytes[0] != 'P' || std::strchr("2356", bytes[1]) == nullptr) {
    error = "not a PNG or a grey or colour PNM (P2, P3, P5, P6)";
    return false;
  }
  const char type = static_cast<char>(bytes[1]);
  PnmReader in(bytes);
  uint32_t width = 0, height = 0, maxval = 0;
  if (!in.number(width) || !in.number(height) || !in.number(maxval) || width == 0 || height == 0 ||
      maxval == 0 || maxval > 65535) {
    error = "PNM header is incomplete or out of range";
    return false;
  }
  if (uint64_t{width} * height > kMaxImagePixels) {
    error = "picture too large";
    return false;
  }
  image.width = width;
  image.height = height;
  image.channels = (type == '3' || type == '6') ? 3 : 1;
  const size_t samples = size_t{width} * height * image.channels;
  image.pixels.assign(samples, 0);
  const auto scale = [maxval](uint32_t v) {
    return static_cast<uint8_t>((std::min(v, maxval) * 255 + maxval / 2) / maxval);
  };
  if (type == '2' || type == '3') {
    for (size_t i = 0; i < samples; ++i) {
      uint32_t v = 0;
      if (!in.number(v)) {
        error =
            "PNM ends after " + std::to_string(i) + " of " + std::to_string(samples) + " samples";
        return false;
      }
      image.pixels[i] = scale(v);
    }
    return true;
  }
  in.skip(1);  // the single white space after maxval
  const size_t sampleBytes = maxval > 255 ? 2 : 1;
  if (in.pos() > bytes.size() || (bytes.size() - in.pos()) / sampleBytes < samples) {
    error = "PNM raster is truncated";
    return false;
  }
  const uint8_t* p = bytes.data() + in.pos();
  for (size_t i = 0; i < samples; ++i, p += sampleBytes) {
    image.pixels[i] = scale(sampleBytes == 2 ? (p[0] << 8 | p[1]) : p[0]);
  }
  return true;
}

bool readImage(const std::string& path, Image& image, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot open";
    return false;
  }
  char magic[8] = {};
  in.read(magic, 8);
  if (in.gcount() == 8 && std::memcmp(magic, "\x89PNG\r\n\x1a\n", 8) == 0) {
    return readPng(path, image, error);
  }
  in.clear();
  in.seekg(0);
  const std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
  if (!decodePnm(bytes, image, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

bool writePng(const std::string& path, const Image& image, std::string& error) {
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = image.width;
  png.height = image.height;
  png.format = image.channels == 3 ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
  if (!png_image_write_to_file(&png, path.c_str(), 0, image.pixels.data(), 0, nullptr)) {
    error = path + ": cannot write PNG (" + png.message + ")";
    return false;
  }
  return true;
}

namespace {

bool writeRaster(const std::string& path, const std::string& header, const uint8_t* data,
                 size_t size, std::string& error) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
  if (!file || std::fwrite(header.data(), 1, header.size(), file.get()) != header.size() ||
      std::fwrite(data, 1, size, file.get()) != size) {
    error = path + ": cannot write";
    return false;
  }
  return true;
}

}  // namespace

bool writePbm(const std::string& path, uint32_t width, uint32_t height, const uint8_t* rows,
              std::string& error) {
  const std::string header = "P4\n" + std::to_string(width) + " " + std::to_string(height) + "\n";
  return writeRaster(path, header, rows, size_t{(width + 7) / 8} * height, error);
}

bool writeFourLevelPgm(const std::string& path, uint32_t width, uint32_t height,
                       const uint8_t* rows, std::string& error) {
  const size_t stride = (width + 3) / 4;
  std::vector<uint8_t> grey(size_t{width} * height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const uint8_t code = (rows[y * stride + x / 4] >> (6 - 2 * (x % 4))) & 3;
      grey[size_t{y} * width + x] = static_cast<uint8_t>(3 - code);
    }
  }
  const std::string header =
      "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n3\n";
  return writeRaster(path, header, grey.data(), grey.size(), error);
}

}  // namespace kestrl::tool
