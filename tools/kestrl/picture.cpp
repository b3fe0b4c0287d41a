#include "kestrl/picture.h"

#include <cairo.h>
#include <poppler.h>
#include <sys/stat.h>
#include <vips/vips.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

#include "kestrl/paper.h"

namespace kestrl::tool {

namespace {

// Deflate never packs more than 1032 bytes into one, so a PNG declaring
// more pixels than that many times its size is damaged or hostile.
constexpr uint64_t kMaxDeflateRatio = 1032;
// libvips reports this resolution (pixels per millimetre) for a PNG without
// a pHYs chunk; every other format without one reads as 1.
constexpr double kPngUnstatedResolution = 2.834;
constexpr double kPointsPerInch = 72;
// A PDF band holds about this many bytes of drawn page.
constexpr size_t kPdfBandBytes = size_t{1} << 20;
constexpr uint32_t kPdfMaxBandLines = 256;
// Longest message passed on from the image libraries.
constexpr size_t kMaxMessage = 300;

struct Unref {
  void operator()(void* object) const {
    if (object) g_object_unref(object);
  }
};
using VipsImagePtr = std::unique_ptr<VipsImage, Unref>;
using VipsSourcePtr = std::unique_ptr<VipsSource, Unref>;
using PopplerDocumentPtr = std::unique_ptr<PopplerDocument, Unref>;
using PopplerPagePtr = std::unique_ptr<PopplerPage, Unref>;
using SurfacePtr = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

std::string clipped(std::string text) {
  if (text.size() > kMaxMessage) text = text.substr(0, kMaxMessage) + "...";
  return text;
}

// Warnings of libvips and the PDF renderer: printed as they come with
// --verbose, otherwise held for the one line of a failure.
struct LibraryWarnings {
  bool verbose = false;
  std::string held;
};

LibraryWarnings& libraryWarnings() {
  static LibraryWarnings warnings;
  return warnings;
}

void onLibraryWarning(const gchar* domain, GLogLevelFlags, const gchar* message, gpointer) {
  LibraryWarnings& w = libraryWarnings();
  if (w.verbose) {
    std::fprintf(stderr, "kestrl: %s: %s\n", domain ? domain : "warning", message);
  } else if (w.held.size() < kMaxMessage) {
    w.held += (w.held.empty() ? "" : "; ") + std::string(message);
  }
}

// `message` with the held warnings after it, and those cleared.
std::string withWarnings(std::string message) {
  std::string& held = libraryWarnings().held;
  if (!held.empty()) message += (message.empty() ? "" : "; ") + held;
  held.clear();
  return message.empty() ? "no reason given" : clipped(message);
}

// libvips' pending error messages and the held warnings as one line, and
// both cleared.
std::string libraryMessage() {
  std::istringstream in(vips_error_buffer());
  std::string line, joined;
  while (std::getline(in, line)) {
    if (!line.empty()) joined += (joined.empty() ? "" : "; ") + line;
  }
  vips_error_clear();
  return withWarnings(joined);
}

void catchLibraryWarnings(bool verbose) {
  static const bool caught = [] {
    const auto levels = static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE);
    for (const char* domain : {"VIPS", "Poppler"})
      g_log_set_handler(domain, levels, onLibraryWarning, nullptr);
    return true;
  }();
  libraryWarnings().verbose = verbose && caught;
}

bool startVips(bool verbose, std::string& error) {
  static const bool started = [] {
    if (vips_init("kestrl") != 0) return false;
    // One picture per run: keeping finished operations around only costs memory.
    vips_cache_set_max(0);
    return true;
  }();
  catchLibraryWarnings(verbose);
  if (!started) error = "libvips did not start (" + libraryMessage() + ")";
  return started;
}

std::string dimensions(uint64_t width, uint64_t height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

uint64_t fileSize(const std::string& path) {
  struct stat st {};
  return path != "-" && stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// The bounds on a declared picture size, checked before any pixel is decoded.
bool checkDeclaredSize(const PictureInfo& info, uint64_t fileBytes, std::string& error) {
  const uint64_t pixels = uint64_t{info.width} * info.height;
  if (pixels == 0 || pixels > kMaxImagePixels) {
    error = info.name + ": a picture of " + dimensions(info.width, info.height) +
            " pixels is outside 1 to " + std::to_string(kMaxImagePixels) + " pixels";
    return false;
  }
  if (info.format == "PNG" && fileBytes > 0 && pixels > kMaxDeflateRatio * fileBytes) {
    error = info.name + ": declares " + dimensions(info.width, info.height) +
            " pixels, more than its " + std::to_string(fileBytes) + " bytes can hold";
    return false;
  }
  return true;
}

// ---- pictures through libvips ----

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

// Replaces `image` by the result of one libvips operation; false with the
// library's message.
template <typename Operation>
bool apply(VipsImagePtr& image, std::string& error, Operation operation) {
  VipsImage* out = nullptr;
  if (operation(image.get(), &out) != 0) {
    error = libraryMessage();
    return false;
  }
  image.reset(out);
  return true;
}

class VipsPicture : public Picture {
 public:
  VipsPicture(VipsImagePtr image, PictureInfo info) : image_(std::move(image)) {
    info_ = std::move(info);
  }

  bool stream(uint32_t width, uint32_t height, BandSink& sink, std::string& error) override {
    VipsImagePtr grid(image_.get());
    g_object_ref(grid.get());
    if ((width != info_.width || height != info_.height) && !resample(width, height, grid, error))
      return false;
    SinkCall call{&sink};
    const int result = vips_sink_disc(grid.get(), writeBand, &call);
    // A stop in the last band is not always reported by the result.
    if (call.stopped) {
      vips_error_clear();
      return false;
    }
    if (result == 0) return true;
    error = info_.name + ": damaged or truncated " + info_.format + " (" + libraryMessage() + ")";
    return false;
  }

 private:
  // Lanczos shrinking; enlargement interpolates linearly between the
  // picture's pixels (smooth, and the fastest of the library's enlargers).
  // The size is then made exact by clipping or repeating the edge.
  bool resample(uint32_t width, uint32_t height, VipsImagePtr& image, std::string& error) {
    const double xScale = double(width) / info_.width, yScale = double(height) / info_.height;
    const VipsKernel kernel = xScale > 1 || yScale > 1 ? VIPS_KERNEL_LINEAR : VIPS_KERNEL_LANCZOS3;
    const bool ok =
        apply(image, error,
              [&](VipsImage* in, VipsImage** out) {
                return vips_resize(in, out, xScale, "vscale", yScale, "kernel", kernel, nullptr);
              }) &&
        ((uint32_t(image->Xsize) == width && uint32_t(image->Ysize) == height) ||
         apply(image, error, [&](VipsImage* in, VipsImage** out) {
           return vips_embed(in, out, 0, 0, int(width), int(height), "extend", VIPS_EXTEND_COPY,
                             nullptr);
         }));
    if (!ok) error = info_.name + ": cannot resample (" + error + ")";
    return ok;
  }

  VipsImagePtr image_;
};

bool castToBytes(VipsImagePtr& image, std::string& error) {
  return image->BandFmt == VIPS_FORMAT_UCHAR ||
         apply(image, error, [](VipsImage* in, VipsImage** out) {
           return vips_cast(in, out, VIPS_FORMAT_UCHAR, "shift",
                            in->Type == VIPS_INTERPRETATION_CMYK, nullptr);
         });
}

// A PNM's samples run to its maximum value (1000, say): stretched to the
// full range of their 8 or 16 bits.
bool stretchPnmSamples(VipsImagePtr& image, std::string& error) {
  int maxValue = 0;
  if (vips_image_get_typeof(image.get(), "ppm-max-value") == 0 ||
      vips_image_get_int(image.get(), "ppm-max-value", &maxValue) != 0 || maxValue <= 0) {
    return true;
  }
  const bool wide = image->BandFmt == VIPS_FORMAT_USHORT;
  const double full = wide ? 65535 : 255;
  if (maxValue == full || image->BandFmt != (wide ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR))
    return true;
  const VipsInterpretation type = image->Type;
  return apply(image, error,
               [&](VipsImage* in, VipsImage** out) {
                 return vips_linear1(in, out, full / maxValue, 0.0, nullptr);
               }) &&
         apply(image, error,
               [&](VipsImage* in, VipsImage** out) {
                 return vips_cast(in, out, wide ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR, nullptr);
               }) &&
         apply(image, error, [&](VipsImage* in, VipsImage** out) {
           return vips_copy(in, out, "interpretation", type, nullptr);
         });
}

// Brings the loaded picture to 8-bit grey, RGB or ink levels, white under
// any transparency, sRGB when it carries a profile.
bool normalise(VipsImagePtr& image, bool inksAsColour, PictureInfo& info, std::string& error) {
  if (!stretchPnmSamples(image, error)) return false;
  const bool cmyk = image->Type == VIPS_INTERPRETATION_CMYK && image->Bands >= 4;
  if (cmyk && !inksAsColour) {
    info.kind = PictureKind::kInks;
    return (image->Bands == 4 || apply(image, error,
                                       [](VipsImage* in, VipsImage** out) {
                                         return vips_extract_band(in, out, 0, "n", 4, nullptr);
                                       })) &&
           castToBytes(image, error);
  }
  const bool greyInput = !cmyk && image->Bands - (vips_image_hasalpha(image.get()) ? 1 : 0) < 3;
  if (vips_image_get_typeof(image.get(), VIPS_META_ICC_NAME) != 0) {
    info.profileConverted = true;
    if (!apply(image, error, [](VipsImage* in, VipsImage** out) {
          return vips_icc_transform(in, out, "srgb", "embedded", TRUE, "depth", 8, nullptr);
        })) {
      return false;
    }
  }
  if (vips_image_hasalpha(image.get())) {
    const double maxAlpha = image->BandFmt == VIPS_FORMAT_USHORT ? 65535 : 255;
    VipsArrayDouble* white = vips_array_double_new(&maxAlpha, 1);
    const bool ok = apply(image, error, [&](VipsImage* in, VipsImage** out) {
      return vips_flatten(in, out, "background", white, "max_alpha", maxAlpha, nullptr);
    });
    vips_area_unref(VIPS_AREA(white));
    if (!ok) return false;
  }
  const VipsInterpretation target = greyInput ? VIPS_INTERPRETATION_B_W : VIPS_INTERPRETATION_sRGB;
  info.kind = greyInput ? PictureKind::kGrey : PictureKind::kColour;
  return apply(image, error,
               [&](VipsImage* in, VipsImage** out) {
                 return vips_colourspace(in, out, target, nullptr);
               }) &&
         castToBytes(image, error);
}

// "jpegload_source" -> "JPEG".
std::string formatName(const char* loader) {
  static const std::pair<const char*, const char*> kNames[] = {
      {"jpeg", "JPEG"}, {"png", "PNG"},        {"tiff", "TIFF"},   {"webp", "WebP"},
      {"ppm", "PNM"},   {"pdf", "PDF"},        {"gif", "GIF"},     {"heif", "HEIF"},
      {"svg", "SVG"},   {"jp2k", "JPEG 2000"}, {"jxl", "JPEG XL"}, {"rad", "Radiance"},
      {"fits", "FITS"}};
  const char* nickname = vips_nickname_find(g_type_from_name(loader));
  std::string name = nickname ? nickname : loader;
  name = name.substr(0, name.find("load"));
  for (const auto& [nick, shown] : kNames) {
    if (name == nick) return shown;
  }
  return name;
}

// The format a file's first bytes name, for the files libvips will not take.
std::string formatBySignature(VipsSource* source) {
  unsigned char* bytes = nullptr;
  const gint64 got = vips_source_sniff_at_most(source, &bytes, 12);
  if (got < 4 || !bytes) return {};
  const auto starts = [&](const char* signature, size_t size) {
    return size_t(got) >= size && std::memcmp(bytes, signature, size) == 0;
  };
  if (starts("\x89PNG", 4)) return "PNG";
  if (starts("\xFF\xD8\xFF", 3)) return "JPEG";
  if (starts("II*\0", 4) || starts("MM\0*", 4)) return "TIFF";
  if (starts("GIF8", 4)) return "GIF";
  if (starts("%PDF", 4)) return "PDF";
  if (got >= 12 && starts("RIFF", 4) && std::memcmp(bytes + 8, "WEBP", 4) == 0) return "WebP";
  if (bytes[0] == 'P' && bytes[1] >= '1' && bytes[1] <= '7') return "PNM";
  return {};
}

bool pagedFormat(const std::string& format) {
  return format == "TIFF" || format == "WebP" || format == "GIF" || format == "HEIF";
}

std::string pageOutOfRange(const PictureInfo& info, uint32_t page) {
  return info.name + ": --page " + std::to_string(page) + " is past the last page of this " +
         (info.pages == 1 ? std::string("one-page ") : std::to_string(info.pages) + "-page ") +
         info.format;
}

// The picture's own size in inches when it states its resolution.
void statedSize(VipsImage* image, PictureInfo& info) {
  const bool stated = vips_image_get_typeof(image, "resolution-unit") != 0 ||
                      (info.format == "PNG" && image->Xres != kPngUnstatedResolution);
  if (!stated || !(image->Xres > 0) || !(image->Yres > 0)) return;
  info.widthInches = image->Xsize / (image->Xres * kMillimetresPerInch);
  info.heightInches = image->Ysize / (image->Yres * kMillimetresPerInch);
}

VipsImage* load(VipsSource* source, uint32_t page, const std::string& format, VipsAccess access) {
  const std::string options = pagedFormat(format) ? "page=" + std::to_string(page - 1) : "";
  return vips_image_new_from_source(source, options.c_str(), "access", access, "fail_on",
                                    VIPS_FAIL_ON_ERROR, nullptr);
}

// Turns the picture upright as its EXIF orientation says. Rotation needs
// the whole picture, so it is opened again for random access.
bool turnUpright(VipsSource* source, const PictureRequest& r, PictureInfo& info,
                 VipsImagePtr& image, std::string& error) {
  info.orientation = static_cast<uint32_t>(vips_image_get_orientation(image.get()));
  if (!r.autorotate || info.orientation <= 1 || info.orientation > 8) return true;
  image.reset(load(source, r.page, info.format, VIPS_ACCESS_RANDOM));
  if (!image || !apply(image, error, [](VipsImage* in, VipsImage** out) {
        return vips_autorot(in, out, nullptr);
      })) {
    error = info.name + ": cannot turn the " + info.format + " upright (" +
            (image ? error : libraryMessage()) + ")";
    return false;
  }
  info.turnedUpright = true;
  return true;
}

// ---- PDF pages ----

// A PDF page drawn band by band: each band draws only its strip of the page,
// straight onto the printer grid (or at --dpi and then scaled onto it).
class PdfPicture : public Picture {
 public:
  PdfPicture(PopplerDocumentPtr document, PopplerPagePtr page, double dpi, PictureInfo info,
             double pointsWide, double pointsHigh)
      : document_(std::move(document)),
        page_(std::move(page)),
        dpi_(dpi),
        pointsWide_(pointsWide),
        pointsHigh_(pointsHigh) {
    info_ = std::move(info);
  }

  bool stream(uint32_t width, uint32_t height, BandSink& sink, std::string& error) override {
    const uint32_t lines =
        std::clamp<uint32_t>(uint32_t(kPdfBandBytes / (size_t{width} * 4)), 1, kPdfMaxBandLines);
    SurfacePtr band(cairo_image_surface_create(CAIRO_FORMAT_RGB24, int(width), int(lines)),
                    cairo_surface_destroy);
    if (cairo_surface_status(band.get()) != CAIRO_STATUS_SUCCESS) {
      error = info_.name + ": cannot draw a band of " + dimensions(width, lines) + " pixels";
      return false;
    }
    std::vector<uint8_t> rgb(size_t{width} * 3 * lines);
    for (uint32_t first = 0; first < height; first += lines) {
      const uint32_t count = std::min(lines, height - first);
      if (!draw(band.get(), width, height, first, count, error)) return false;
      toRgb(band.get(), width, count, rgb.data());
      if (!sink.band(rgb.data(), size_t{width} * 3, first, count)) return false;
    }
    return true;
  }

 private:
  // Lines first .. first + count of the page drawn `width` x `height`.
  bool draw(cairo_surface_t* band, uint32_t width, uint32_t height, uint32_t first, uint32_t count,
            std::string& error) {
    cairo_t* cr = cairo_create(band);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    bool ok = true;
    if (dpi_ > 0) {
      ok = drawScaled(cr, width, height, first, count, error);
    } else {
      cairo_scale(cr, width / pointsWide_, height / pointsHigh_);
      cairo_translate(cr, 0, -double(first) * pointsHigh_ / height);
      poppler_page_render(page_.get(), cr);
    }
    cairo_destroy(cr);
    cairo_surface_flush(band);
    return ok;
  }

  // Draws the band's strip at --dpi, then scales it onto the grid.
  bool drawScaled(cairo_t* cr, uint32_t width, uint32_t height, uint32_t first, uint32_t count,
                  std::string& error) {
    const double scale = dpi_ / kPointsPerInch;
    const int drawnWidth = int(std::ceil(pointsWide_ * scale));
    const double drawnHeight = std::ceil(pointsHigh_ * scale);
    const double rowsPerLine = drawnHeight / height;
    const int top = std::max(0, int(std::floor(first * rowsPerLine)) - 1);
    const int bottom =
        std::min(int(drawnHeight), int(std::ceil((first + count) * rowsPerLine)) + 1);
    SurfacePtr strip(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, drawnWidth, std::max(1, bottom - top)),
        cairo_surface_destroy);
    if (cairo_surface_status(strip.get()) != CAIRO_STATUS_SUCCESS) {
      error = info_.name + ": cannot draw the page at " + std::to_string(int(dpi_)) + " dpi";
      return false;
    }
    cairo_t* drawn = cairo_create(strip.get());
    cairo_set_source_rgb(drawn, 1, 1, 1);
    cairo_paint(drawn);
    cairo_scale(drawn, scale, scale);
    cairo_translate(drawn, 0, -top / scale);
    poppler_page_render(page_.get(), drawn);
    cairo_destroy(drawn);
    cairo_surface_flush(strip.get());
    cairo_scale(cr, double(width) / drawnWidth, 1 / rowsPerLine);
    cairo_translate(cr, 0, -double(first) * rowsPerLine);
    cairo_set_source_surface(cr, strip.get(), 0, top);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_paint(cr);
    return true;
  }

  // Cairo's pixels are native-endian 32-bit words 0x00RRGGBB.
  static void toRgb(cairo_surface_t* band, uint32_t width, uint32_t count, uint8_t* out) {
    const uint8_t* data = cairo_image_surface_get_data(band);
    const int stride = cairo_image_surface_get_stride(band);
    for (uint32_t y = 0; y < count; ++y) {
      const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride));
      for (uint32_t x = 0; x < width; ++x, out += 3) {
        out[0] = uint8_t(row[x] >> 16);
        out[1] = uint8_t(row[x] >> 8);
        out[2] = uint8_t(row[x]);
      }
    }
  }

  PopplerDocumentPtr document_;
  PopplerPagePtr page_;
  double dpi_, pointsWide_, pointsHigh_;
};

PopplerDocument* openDocument(const PictureRequest& r, VipsSource* source, GError** gerror) {
  if (r.path != "-") {
    GFile* file = g_file_new_for_path(r.path.c_str());
    PopplerDocument* document = poppler_document_new_from_gfile(file, nullptr, nullptr, gerror);
    g_object_unref(file);
    return document;
  }
  size_t length = 0;
  const void* data = vips_source_map(source, &length);
  if (!data) return nullptr;
  GBytes* bytes = g_bytes_new(data, length);
  PopplerDocument* document = poppler_document_new_from_bytes(bytes, nullptr, gerror);
  g_bytes_unref(bytes);
  return document;
}

std::unique_ptr<Picture> openPdf(const PictureRequest& r, VipsSource* source, PictureInfo info,
                                 std::string& error) {
  GError* gerror = nullptr;
  PopplerDocumentPtr document(openDocument(r, source, &gerror));
  if (!document) {
    error = info.name + ": cannot read PDF (" + withWarnings(gerror ? gerror->message : "") + ")";
    if (gerror) g_error_free(gerror);
    return nullptr;
  }
  info.pages = uint32_t(std::max(1, poppler_document_get_n_pages(document.get())));
  if (r.page > info.pages) {
    error = pageOutOfRange(info, r.page);
    return nullptr;
  }
  PopplerPagePtr page(poppler_document_get_page(document.get(), int(r.page - 1)));
  double pointsWide = 0, pointsHigh = 0;
  if (page) poppler_page_get_size(page.get(), &pointsWide, &pointsHigh);
  if (!(pointsWide >= 1 && pointsHigh >= 1)) {
    error = info.name + ": page " + std::to_string(r.page) + " of the PDF has no size";
    return nullptr;
  }
  if (r.dpi > 0 && pointsWide / kPointsPerInch * r.dpi > kMaxDrawingWidth) {
    error = info.name + ": page " + std::to_string(r.page) + " drawn at " +
            std::to_string(int(r.dpi)) + " dpi is wider than " + std::to_string(kMaxDrawingWidth) +
            " pixels; a lower --dpi shrinks it";
    return nullptr;
  }
  info.kind = PictureKind::kColour;
  info.width = uint32_t(std::lround(pointsWide));
  info.height = uint32_t(std::lround(pointsHigh));
  info.widthInches = pointsWide / kPointsPerInch;
  info.heightInches = pointsHigh / kPointsPerInch;
  return std::make_unique<PdfPicture>(std::move(document), std::move(page), r.dpi, std::move(info),
                                      pointsWide, pointsHigh);
}

// A PDF file is drawn without starting libvips: its start-up (loading its
// format modules) would cost more memory than the page's bands.
bool isPdfFile(const std::string& path) {
  char head[5] = {};
  FILE* file = path == "-" ? nullptr : std::fopen(path.c_str(), "rb");
  const bool pdf = file && std::fread(head, 1, 5, file) == 5 && std::memcmp(head, "%PDF-", 5) == 0;
  if (file) std::fclose(file);
  return pdf;
}

// The page asked for, its header read (pixels come as the bands ask), and
// the page count in `info`; null with the message for a page the file does
// not have or a header libvips cannot read.
VipsImagePtr loadPage(VipsSource* source, const PictureRequest& r, PictureInfo& info,
                      std::string& error) {
  if (r.page > 1 && !pagedFormat(info.format)) {
    error = pageOutOfRange(info, r.page);
    return nullptr;
  }
  VipsImagePtr image(load(source, r.page, info.format, VIPS_ACCESS_SEQUENTIAL));
  if (image) info.pages = uint32_t(std::max(1, vips_image_get_n_pages(image.get())));
  if (r.page > 1 && (!image || r.page > info.pages)) {
    // Some loaders refuse a page past the end, some give the first page:
    // the first page says how many there are.
    if (VipsImagePtr first{load(source, 1, info.format, VIPS_ACCESS_SEQUENTIAL)}) {
      info.pages = uint32_t(std::max(1, vips_image_get_n_pages(first.get())));
      if (r.page > info.pages) {
        libraryMessage();
        error = pageOutOfRange(info, r.page);
        return nullptr;
      }
    }
  }
  if (!image) error = info.name + ": cannot read " + info.format + " (" + libraryMessage() + ")";
  return image;
}

std::unique_ptr<Picture> open(const PictureRequest& r, std::string& error) {
  PictureInfo info;
  info.name = r.path == "-" ? "standard input" : r.path;
  info.page = r.page;
  if (isPdfFile(r.path)) {
    catchLibraryWarnings(r.verbose);
    info.format = "PDF";
    return openPdf(r, nullptr, std::move(info), error);
  }
  if (!startVips(r.verbose, error)) return nullptr;
  VipsSourcePtr source(r.path == "-" ? vips_source_new_from_descriptor(0)
                                     : vips_source_new_from_file(r.path.c_str()));
  const char* loader = source ? vips_foreign_find_load_source(source.get()) : nullptr;
  if (!loader) {
    vips_error_clear();
    const std::string format = source ? formatBySignature(source.get()) : "";
    error =
        info.name + (format.empty() ? ": not a picture kestrl can read"
                                    : ": damaged or truncated " + format + " (no readable header)");
    return nullptr;
  }
  info.format = formatName(loader);
  if (info.format == "PDF") return openPdf(r, source.get(), std::move(info), error);
  VipsImagePtr image = loadPage(source.get(), r, info, error);
  if (!image) return nullptr;
  info.width = uint32_t(image->Xsize);
  info.height = uint32_t(image->Ysize);
  if (!checkDeclaredSize(info, fileSize(r.path), error) ||
      !turnUpright(source.get(), r, info, image, error)) {
    return nullptr;
  }
  info.width = uint32_t(image->Xsize);
  info.height = uint32_t(image->Ysize);
  statedSize(image.get(), info);
  if (!normalise(image, r.inksAsColour, info, error)) {
    error = info.name + ": cannot convert " + info.format + " (" + error + ")";
    return nullptr;
  }
  return std::make_unique<VipsPicture>(std::move(image), std::move(info));
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
  }
  return open(request, error);
}

std::unique_ptr<Picture> pictureFromImage(const Image& image, std::string& error) {
  if (!startVips(false, error)) return nullptr;
  VipsImagePtr pixels(vips_image_new_from_memory_copy(image.pixels.data(), image.pixels.size(),
                                                      int(image.width), int(image.height),
                                                      int(image.channels), VIPS_FORMAT_UCHAR));
  if (!pixels) {
    error = "the built-in picture: " + libraryMessage();
    return nullptr;
  }
  PictureInfo info;
  info.width = image.width;
  info.height = image.height;
  info.kind = image.channels == 3 ? PictureKind::kColour : PictureKind::kGrey;
  info.format = "built-in picture";
  info.name = "the built-in picture";
  return std::make_unique<VipsPicture>(std::move(pixels), std::move(info));
}

}  // namespace kestrl::tool
