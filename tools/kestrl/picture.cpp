#include "kestrl/picture.h"

#include <png.h>
#include <sys/stat.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <future>
#include <vector>

#include "kestrl/vips_api.h"

namespace kestrl::tool {

namespace {

// Deflate never packs more than 1032 bytes into one, so a PNG declaring
// more pixels than that many times its size is damaged or hostile.
constexpr uint64_t kMaxDeflateRatio = 1032;
constexpr double kMillimetresPerInch = 25.4;
constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

using FilePtr = std::unique_ptr<FILE, int (*)(FILE*)>;

std::string dimensions(uint64_t width, uint64_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

bool checkPixelCount(const std::string& name, uint64_t width, uint64_t height, std::string& error) {
  if (width == 0 || height == 0 || width * height > kMaxImagePixels) {
    error = name + ": a picture of " + dimensions(width, height) + " pixels is outside 1 to " +
            std::to_string(kMaxImagePixels) + " pixels";
    return false;
  }
  return true;
}

uint64_t fileSize(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// ---- the command's own decoders: rows of 8-bit samples, top to bottom ----

class LineDecoder {
 public:
  virtual ~LineDecoder() = default;
  virtual bool read(uint8_t* rows, uint32_t count, std::string& error) = 0;
};

// Binary PNM, grey (P5) or RGB (P6), any maxval.
class PnmDecoder : public LineDecoder {
 public:
  PnmDecoder(FilePtr file, uint32_t samplesPerLine, uint32_t maxval)
      : file_(std::move(file)),
        samples_(samplesPerLine),
        maxval_(maxval),
        raw_(size_t{samplesPerLine} * (maxval > 255 ? 2 : 1)) {}

  bool read(uint8_t* rows, uint32_t count, std::string& error) override {
    for (uint32_t y = 0; y < count; ++y, rows += samples_) {
      if (std::fread(raw_.data(), 1, raw_.size(), file_.get()) != raw_.size()) {
        error = "PNM raster is truncated";
        return false;
      }
      convert(rows);
    }
    return true;
  }

 private:
  void convert(uint8_t* out) const {
    if (maxval_ == 255) {
      std::memcpy(out, raw_.data(), samples_);
      return;
    }
    const bool wide = maxval_ > 255;
    for (uint32_t i = 0; i < samples_; ++i) {
      const uint32_t v = wide ? (raw_[2 * i] << 8 | raw_[2 * i + 1]) : raw_[i];
      out[i] = static_cast<uint8_t>((std::min(v, maxval_) * 255 + maxval_ / 2) / maxval_);
    }
  }

  FilePtr file_;
  uint32_t samples_, maxval_;
  std::vector<uint8_t> raw_;
};

// A number of a PNM header, skipping white space and comments.
bool pnmNumber(FILE* file, uint32_t& value) {
  int c = std::fgetc(file);
  while (c == '#' || std::isspace(c)) {
    if (c == '#') {
      while (c != '\n' && c != EOF) c = std::fgetc(file);
    }
    c = std::fgetc(file);
  }
  if (!std::isdigit(c)) return false;
  uint64_t v = 0;
  for (; std::isdigit(c); c = std::fgetc(file)) {
    v = v * 10 + static_cast<uint32_t>(c - '0');
    if (v > 0xFFFFFFFFu) return false;
  }
  value = static_cast<uint32_t>(v);
  return std::isspace(c);  // the single white space before the raster
}

// Plain PNG through libpng, one row at a time. libpng reports errors by
// jumping back to the setjmp of the function that called it; those
// functions keep only trivial locals.
class PngDecoder : public LineDecoder {
 public:
  explicit PngDecoder(FilePtr file) : file_(std::move(file)) {}
  ~PngDecoder() override { png_destroy_read_struct(&png_, &info_, nullptr); }

  // Reads the header; false (with `error` empty) when the picture needs
  // libvips: transparency, a profile, interlacing or 16-bit samples.
  bool start(uint32_t& width, uint32_t& height, uint32_t& channels, std::string& error) {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, onError, onWarning);
    if (!png_ || !(info_ = png_create_info_struct(png_))) {
      error = "out of memory";
      return false;
    }
    if (setjmp(png_jmpbuf(png_))) {
      error = "damaged PNG (" + message_ + ")";
      return false;
    }
    png_init_io(png_, file_.get());
    png_read_info(png_, info_);
    const int type = png_get_color_type(png_, info_);
    if (png_get_interlace_type(png_, info_) != PNG_INTERLACE_NONE ||
        png_get_bit_depth(png_, info_) > 8 || (type & PNG_COLOR_MASK_ALPHA) ||
        png_get_valid(png_, info_, PNG_INFO_tRNS) || png_get_valid(png_, info_, PNG_INFO_iCCP)) {
      return false;
    }
    if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png_);
    if (type == PNG_COLOR_TYPE_GRAY) png_set_expand_gray_1_2_4_to_8(png_);
    png_read_update_info(png_, info_);
    width = png_get_image_width(png_, info_);
    height = png_get_image_height(png_, info_);
    channels = png_get_channels(png_, info_);
    rowBytes_ = png_get_rowbytes(png_, info_);
    return true;
  }

  bool read(uint8_t* rows, uint32_t count, std::string& error) override {
    if (setjmp(png_jmpbuf(png_))) {
      error = "damaged or truncated PNG (" + message_ + ")";
      return false;
    }
    for (uint32_t y = 0; y < count; ++y) png_read_row(png_, rows + y * rowBytes_, nullptr);
    return true;
  }

 private:
  static void onError(png_structp png, png_const_charp message) {
    static_cast<PngDecoder*>(png_get_error_ptr(png))->message_ = message;
    png_longjmp(png, 1);
  }
  static void onWarning(png_structp, png_const_charp) {}

  FilePtr file_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
  size_t rowBytes_ = 0;
  std::string message_;
};

class MemoryDecoder : public LineDecoder {
 public:
  explicit MemoryDecoder(const Image& image) : image_(image) {}
  bool read(uint8_t* rows, uint32_t count, std::string&) override {
    const size_t bytes = size_t{count} * image_.width * image_.channels;
    std::memcpy(rows, image_.pixels.data() + offset_, bytes);
    offset_ += bytes;
    return true;
  }

 private:
  const Image& image_;
  size_t offset_ = 0;
};

// Decodes band k + 1 on another thread while the sink works on band k.
bool pumpBands(LineDecoder& decoder, uint32_t height, size_t lineBytes, BandSink& sink,
               std::string& error) {
  std::vector<uint8_t> buffers[2];
  for (auto& b : buffers) b.resize(lineBytes * std::min(height, kBandLines));
  std::string decodeError;
  const auto decode = [&](int which, uint32_t count) {
    return decoder.read(buffers[which].data(), count, decodeError);
  };
  std::future<bool> next = std::async(std::launch::async, decode, 0, std::min(height, kBandLines));
  for (uint32_t first = 0, k = 0; first < height; first += kBandLines, ++k) {
    if (!next.get()) {
      error = decodeError;
      return false;
    }
    const uint32_t count = std::min(kBandLines, height - first);
    if (first + count < height) {
      next = std::async(std::launch::async, decode, (k + 1) & 1,
                        std::min(kBandLines, height - first - count));
    }
    if (!sink.band(buffers[k & 1].data(), lineBytes, first, count)) {
      if (next.valid()) next.wait();
      return false;
    }
  }
  return true;
}

// ---- libvips ----

struct SinkCall {
  BandSink* sink;
  bool stopped = false;
};

int writeBand(VipsRegion* region, VipsRect* area, void* data) {
  SinkCall& call = *static_cast<SinkCall*>(data);
  // The samples are bytes, so a pixel is as wide as the band count.
  const uint8_t* lines = reinterpret_cast<const uint8_t*>(region->data) +
                         size_t(area->top - region->valid.top) * region->bpl +
                         size_t(area->left - region->valid.left) * region->im->Bands;
  if (call.sink->band(lines, region->bpl, static_cast<uint32_t>(area->top),
                      static_cast<uint32_t>(area->height))) {
    return 0;
  }
  call.stopped = true;
  return -1;
}

class VipsPicture : public Picture {
 public:
  VipsPicture(const VipsApi& api, VipsImagePtr image, PictureInfo info)
      : api_(api), image_(std::move(image)) {
    info_ = std::move(info);
  }

  bool stream(uint32_t width, uint32_t height, BandSink& sink, std::string& error) override {
    VipsImagePtr grid{nullptr, {&api_}};
    VipsImage* out = image_.get();
    if (width != info_.width || height != info_.height) {
      if (!resample(width, height, grid, error)) return false;
      out = grid.get();
    }
    SinkCall call{&sink};
    const int result = api_.sinkDisc(out, writeBand, &call);
    // A stop in the last band is not always reported by the result.
    if (call.stopped) {
      api_.errorClear();
      return false;
    }
    if (result == 0) return true;
    error = info_.name + ": damaged or truncated " + info_.format + " (" + vipsError(api_) + ")";
    return false;
  }

 private:
  // Lanczos shrinking; enlargement interpolates linearly between the
  // picture's pixels (smooth, and the fastest of the library's enlargers).
  // The size is then made exact by clipping or repeating the edge.
  bool resample(uint32_t width, uint32_t height, VipsImagePtr& out, std::string& error) {
    const double xScale = double(width) / info_.width, yScale = double(height) / info_.height;
    const VipsKernel kernel = xScale > 1 || yScale > 1 ? VIPS_KERNEL_LINEAR : VIPS_KERNEL_LANCZOS3;
    VipsImage* scaled = nullptr;
    if (api_.resize(image_.get(), &scaled, xScale, "vscale", yScale, "kernel", kernel, nullptr)) {
      error = "cannot resample (" + vipsError(api_) + ")";
      return false;
    }
    out.reset(scaled);
    if (uint32_t(scaled->Xsize) == width && uint32_t(scaled->Ysize) == height) return true;
    VipsImage* exact = nullptr;
    if (api_.embed(scaled, &exact, 0, 0, int(width), int(height), "extend", VIPS_EXTEND_COPY,
                   nullptr)) {
      error = "cannot resample (" + vipsError(api_) + ")";
      return false;
    }
    out.reset(exact);
    return true;
  }

  const VipsApi& api_;
  VipsImagePtr image_;
};

// One conversion step: replaces `image` by the result, or fails.
template <typename Step>
bool apply(const VipsApi& api, VipsImagePtr& image, Step step, std::string& error) {
  VipsImage* out = nullptr;
  if (step(image.get(), &out) != 0) {
    error = vipsError(api);
    return false;
  }
  image.reset(out);
  return true;
}

// Brings the loaded picture to 8-bit grey, RGB or ink levels, white under
// any transparency, sRGB when it carries a profile.
bool normalise(const VipsApi& api, VipsImagePtr& image, bool inksAsColour, PictureInfo& info,
               std::string& error) {
  const bool cmyk = image->Type == VIPS_INTERPRETATION_CMYK && image->Bands >= 4;
  if (cmyk && !inksAsColour) {
    info.kind = PictureKind::kInks;
    if (image->Bands > 4 && !apply(
                                api, image,
                                [&](VipsImage* in, VipsImage** out) {
                                  return api.extractBand(in, out, 0, "n", 4, nullptr);
                                },
                                error)) {
      return false;
    }
    return image->BandFmt == VIPS_FORMAT_UCHAR ||
           apply(
               api, image,
               [&](VipsImage* in, VipsImage** out) {
                 return api.cast(in, out, VIPS_FORMAT_UCHAR, "shift", TRUE, nullptr);
               },
               error);
  }
  const bool greyInput = !cmyk && image->Bands - (api.hasAlpha(image.get()) ? 1 : 0) < 3;
  if (api.typeOf(image.get(), VIPS_META_ICC_NAME) != 0) {
    info.profileConverted = true;
    if (!apply(
            api, image,
            [&](VipsImage* in, VipsImage** out) {
              return api.iccTransform(in, out, "srgb", "embedded", TRUE, "depth", 8, nullptr);
            },
            error)) {
      return false;
    }
  }
  if (api.hasAlpha(image.get())) {
    const double maxAlpha = image->BandFmt == VIPS_FORMAT_USHORT ? 65535 : 255;
    VipsArrayDouble* white = api.arrayDouble(&maxAlpha, 1);
    const bool ok = apply(
        api, image,
        [&](VipsImage* in, VipsImage** out) {
          return api.flatten(in, out, "background", white, "max_alpha", maxAlpha, nullptr);
        },
        error);
    api.areaUnref(VIPS_AREA(white));
    if (!ok) return false;
  }
  const VipsInterpretation target = greyInput ? VIPS_INTERPRETATION_B_W : VIPS_INTERPRETATION_sRGB;
  info.kind = greyInput ? PictureKind::kGrey : PictureKind::kColour;
  return apply(
             api, image,
             [&](VipsImage* in, VipsImage** out) {
               return api.colourspace(in, out, target, nullptr);
             },
             error) &&
         (image->BandFmt == VIPS_FORMAT_UCHAR || apply(
                                                     api, image,
                                                     [&](VipsImage* in, VipsImage** out) {
                                                       return api.cast(in, out, VIPS_FORMAT_UCHAR,
                                                                       nullptr);
                                                     },
                                                     error));
}

// "VipsForeignLoadJpegSource" -> "JPEG".
std::string formatName(const std::string& loader) {
  static const std::pair<const char*, const char*> kNames[] = {
      {"Jpeg", "JPEG"}, {"Png", "PNG"}, {"Tiff", "TIFF"}, {"Webp", "WebP"}, {"Ppm", "PNM"},
      {"Pdf", "PDF"},   {"Gif", "GIF"}, {"Heif", "HEIF"}, {"Svg", "SVG"}};
  for (const auto& [part, name] : kNames) {
    if (loader.find(std::string("Load") + part) != std::string::npos) return name;
  }
  return loader;
}

// Loader options for the page and drawing resolution, where the format has them.
bool pageOptions(const std::string& format, const PictureRequest& r, std::string& options) {
  const bool paged = format == "PDF" || format == "TIFF" || format == "WebP" || format == "GIF" ||
                     format == "HEIF";
  if (paged) options = "page=" + std::to_string(r.page - 1);
  if (format == "PDF") options += ",dpi=" + std::to_string(r.dpi);
  return paged || r.page == 1;
}

std::unique_ptr<Picture> openWithVips(const PictureRequest& r, const std::string& name,
                                      std::string& error) {
  const VipsApi* api = vipsApi(error);
  if (!api) {
    error = name + ": " + error;
    return nullptr;
  }
  VipsSourcePtr source(
      r.path == "-" ? api->sourceFromDescriptor(0) : api->sourceFromFile(r.path.c_str()), {api});
  const char* loader = source ? api->findLoadSource(source.get()) : nullptr;
  if (!loader) {
    api->errorClear();
    error = name + ": not a picture kestrl can read";
    return nullptr;
  }
  PictureInfo info;
  info.name = name;
  info.format = formatName(loader);
  std::string options;
  if (!pageOptions(info.format, r, options)) {
    error = name + ": a " + info.format + " picture has only one page";
    return nullptr;
  }
  VipsImagePtr image(
      api->imageFromSource(source.get(), options.c_str(), "access", VIPS_ACCESS_SEQUENTIAL,
                           "fail_on", VIPS_FAIL_ON_ERROR, nullptr),
      {api});
  if (!image) {
    error = name + ": cannot read " + info.format + " (" + vipsError(*api) + ")";
    return nullptr;
  }
  info.width = static_cast<uint32_t>(image->Xsize);
  info.height = static_cast<uint32_t>(image->Ysize);
  info.page = r.page;
  info.pages = static_cast<uint32_t>(std::max(1, api->pageCount(image.get())));
  info.dotsPerInch = image->Xres > 0 ? image->Xres * kMillimetresPerInch : 0;
  if (!checkPixelCount(name, info.width, info.height, error)) return nullptr;
  const uint64_t bytes = r.path == "-" ? 0 : fileSize(r.path);
  if (info.format == "PNG" && bytes > 0 &&
      uint64_t{info.width} * info.height > kMaxDeflateRatio * bytes) {
    error = name + ": declares " + dimensions(info.width, info.height) + " pixels, more than its " +
            std::to_string(bytes) + " bytes can hold";
    return nullptr;
  }
  if (!normalise(*api, image, r.inksAsColour, info, error)) {
    error = name + ": cannot convert " + info.format + " (" + error + ")";
    return nullptr;
  }
  return std::make_unique<VipsPicture>(*api, std::move(image), std::move(info));
}

// A picture the command decodes itself; resampling hands it to libvips.
class OwnPicture : public Picture {
 public:
  OwnPicture(std::unique_ptr<LineDecoder> decoder, PictureRequest request, const Image* image,
             PictureInfo info)
      : decoder_(std::move(decoder)), request_(std::move(request)), image_(image) {
    info_ = std::move(info);
  }

  bool stream(uint32_t width, uint32_t height, BandSink& sink, std::string& error) override {
    if (width == info_.width && height == info_.height) {
      const size_t lineBytes = size_t{width} * static_cast<uint32_t>(info_.kind);
      if (pumpBands(*decoder_, height, lineBytes, sink, error)) return true;
      if (!error.empty()) error = info_.name + ": " + error;
      return false;
    }
    std::unique_ptr<Picture> resampled =
        image_ ? fromMemory(error) : openWithVips(request_, request_.path, error);
    return resampled && resampled->stream(width, height, sink, error);
  }

 private:
  std::unique_ptr<Picture> fromMemory(std::string& error) {
    const VipsApi* api = vipsApi(error);
    if (!api) return nullptr;
    VipsImagePtr image(
        api->imageFromMemory(image_->pixels.data(), image_->pixels.size(), int(image_->width),
                             int(image_->height), int(image_->channels), VIPS_FORMAT_UCHAR),
        {api});
    if (!image) {
      error = vipsError(*api);
      return nullptr;
    }
    return std::make_unique<VipsPicture>(*api, std::move(image), info_);
  }

  std::unique_ptr<LineDecoder> decoder_;
  PictureRequest request_;
  const Image* image_;
};

// The command's own decoders for binary PNM and plain PNG; null (and no
// error) for anything else.
std::unique_ptr<Picture> openOwn(const PictureRequest& r, std::string& error) {
  FilePtr file(std::fopen(r.path.c_str(), "rb"), std::fclose);
  if (!file) {
    error = r.path + ": cannot open (" + std::strerror(errno) + ")";
    return nullptr;
  }
  uint8_t magic[8] = {};
  const size_t got = std::fread(magic, 1, sizeof magic, file.get());
  PictureInfo info;
  info.name = r.path;
  if (got == 8 && std::memcmp(magic, kPngSignature, 8) == 0) {
    std::rewind(file.get());
    auto decoder = std::make_unique<PngDecoder>(std::move(file));
    uint32_t channels = 0;
    if (!decoder->start(info.width, info.height, channels, error)) {
      if (!error.empty()) error = r.path + ": " + error;
      return nullptr;
    }
    const uint64_t bytes = fileSize(r.path);
    if (uint64_t{info.width} * info.height > kMaxDeflateRatio * bytes) {
      error = r.path + ": declares " + dimensions(info.width, info.height) +
              " pixels, more than its " + std::to_string(bytes) + " bytes can hold";
      return nullptr;
    }
    if (!checkPixelCount(r.path, info.width, info.height, error)) return nullptr;
    info.kind = channels == 1 ? PictureKind::kGrey : PictureKind::kColour;
    info.format = "PNG";
    return std::make_unique<OwnPicture>(std::move(decoder), r, nullptr, std::move(info));
  }
  if (got < 2 || magic[0] != 'P' || (magic[1] != '5' && magic[1] != '6')) return nullptr;
  std::fseek(file.get(), 2, SEEK_SET);
  uint32_t maxval = 0;
  if (!pnmNumber(file.get(), info.width) || !pnmNumber(file.get(), info.height) ||
      !pnmNumber(file.get(), maxval) || maxval == 0 || maxval > 65535) {
    error = r.path + ": PNM header is incomplete or out of range";
    return nullptr;
  }
  if (!checkPixelCount(r.path, info.width, info.height, error)) return nullptr;
  const uint32_t channels = magic[1] == '6' ? 3 : 1;
  const uint64_t raster = uint64_t{info.width} * info.height * channels * (maxval > 255 ? 2 : 1);
  const uint64_t held = fileSize(r.path) - static_cast<uint64_t>(std::ftell(file.get()));
  if (held < raster) {
    error = r.path + ": PNM raster is truncated: " + dimensions(info.width, info.height) +
            " pixels need " + std::to_string(raster) + " bytes, the file holds " +
            std::to_string(held);
    return nullptr;
  }
  info.kind = channels == 1 ? PictureKind::kGrey : PictureKind::kColour;
  info.format = "PNM";
  auto decoder = std::make_unique<PnmDecoder>(std::move(file), info.width * channels, maxval);
  return std::make_unique<OwnPicture>(std::move(decoder), r, nullptr, std::move(info));
}

}  // namespace

std::unique_ptr<Picture> openPicture(const PictureRequest& request, std::string& error) {
  if (request.path != "-") {
    struct stat st {};
    if (stat(request.path.c_str(), &st) != 0) {
      error = request.path + ": cannot open (" + std::strerror(errno) + ")";
      return nullptr;
    }
    if (S_ISDIR(st.st_mode)) {
      error = request.path + ": is a folder, not a picture";
      return nullptr;
    }
    if (request.page == 1) {
      if (std::unique_ptr<Picture> own = openOwn(request, error); own || !error.empty()) {
        return own;
      }
    }
  }
  return openWithVips(request, request.path == "-" ? "standard input" : request.path, error);
}

std::unique_ptr<Picture> pictureFromImage(const Image& image) {
  PictureInfo info;
  info.width = image.width;
  info.height = image.height;
  info.kind = image.channels == 3 ? PictureKind::kColour : PictureKind::kGrey;
  info.format = "built-in picture";
  info.name = "the built-in picture";
  return std::make_unique<OwnPicture>(std::make_unique<MemoryDecoder>(image), PictureRequest{},
                                      &image, std::move(info));
}

}  // namespace kestrl::tool
