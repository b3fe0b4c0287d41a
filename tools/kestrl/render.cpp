#include "kestrl/render.h"

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>

namespace kestrl::tool {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint64_t kMaxPagePixels = uint64_t{1} << 29;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The picture with the job's channel count: RGB to grey by luminance, grey
// to RGB by copying.
Image convertChannels(const Image& in, uint32_t channels) {
  if (in.channels == channels) return in;
  Image out{in.width, in.height, channels, {}};
  const size_t pixels = size_t{in.width} * in.height;
  out.pixels.resize(pixels * channels);
  for (size_t i = 0; i < pixels; ++i) {
    if (channels == 1) {
      const uint8_t* p = &in.pixels[3 * i];
      out.pixels[i] = static_cast<uint8_t>((77 * p[0] + 150 * p[1] + 29 * p[2] + 128) >> 8);
    } else {
      std::fill_n(&out.pixels[3 * i], 3, in.pixels[i]);
    }
  }
  return out;
}

// Position of output sample i of `outCount` on an axis of `inCount` picture
// samples, as index and 8-bit weight of the next sample (bilinear).
struct Tap {
  uint32_t index, next, weight;
};
std::vector<Tap> taps(uint32_t inCount, uint32_t outCount) {
  std::vector<Tap> out(outCount);
  for (uint32_t i = 0; i < outCount; ++i) {
    const int64_t pos =
        std::max<int64_t>(0, (int64_t{2 * i + 1} * inCount * 256) / (int64_t{2} * outCount) - 128);
    const uint32_t index = std::min<uint32_t>(static_cast<uint32_t>(pos >> 8), inCount - 1);
    out[i] = {index, std::min(index + 1, inCount - 1), static_cast<uint32_t>(pos & 255)};
  }
  return out;
}

// Resamples the picture onto the source grid of the job, one line at a time.
class Resampler {
 public:
  Resampler(const Image& image, uint32_t samples, uint32_t lines)
      : image_(image),
        columns_(taps(image.width, samples)),
        rows_(taps(image.height, lines)),
        line_(size_t{samples} * image.channels) {}

  const uint8_t* line(uint32_t y) {
    const Tap& row = rows_[y];
    const uint32_t ch = image_.channels;
    const uint8_t* a = &image_.pixels[size_t{row.index} * image_.width * ch];
    const uint8_t* b = &image_.pixels[size_t{row.next} * image_.width * ch];
    uint8_t* out = line_.data();
    for (const Tap& col : columns_) {
      for (uint32_t c = 0; c < ch; ++c) {
        const uint32_t top =
            a[col.index * ch + c] * (256 - col.weight) + a[col.next * ch + c] * col.weight;
        const uint32_t bottom =
            b[col.index * ch + c] * (256 - col.weight) + b[col.next * ch + c] * col.weight;
        *out++ =
            static_cast<uint8_t>((top * (256 - row.weight) + bottom * row.weight + 32768) >> 16);
      }
    }
    return line_.data();
  }

 private:
  const Image& image_;
  std::vector<Tap> columns_, rows_;
  std::vector<uint8_t> line_;
};

// The page being printed: one packed raster per ink plane.
struct Page {
  uint32_t width = 0, height = 0, bits = 1, planes = 1;
  size_t rowBytes = 0;
  std::vector<uint8_t> data;  // planes one after another
  uint8_t* plane(uint32_t k) { return data.data() + k * rowBytes * height; }
  const uint8_t* plane(uint32_t k) const { return data.data() + k * rowBytes * height; }
};

class Progress {
 public:
  explicit Progress(bool enabled) : enabled_(enabled), start_(Clock::now()) {}
  void update(uint32_t done, uint32_t total) {
    if (!enabled_) return;
    const int percent = static_cast<int>(uint64_t{done} * 100 / total);
    if (percent == shown_ || secondsSince(start_) < 0.3) return;
    shown_ = percent;
    const int filled = percent * 40 / 100;
    std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
                 std::string(40 - filled, ' ').c_str(), percent);
    drawn_ = true;
  }
  ~Progress() {
    if (drawn_) std::fprintf(stderr, "\r%60s\r", "");
  }

 private:
  bool enabled_;
  Clock::time_point start_;
  int shown_ = -1;
  bool drawn_ = false;
};

// Run boundaries of a line split into `runs` parts; with sourceStep 1 each
// boundary is even so that a source value keeps covering a pixel pair.
std::vector<uint32_t> runBoundaries(uint32_t width, uint32_t runs, bool even) {
  std::vector<uint32_t> b;
  for (uint32_t r = 0; r <= runs; ++r) {
    uint32_t x = static_cast<uint32_t>(uint64_t{width} * r / runs);
    if (even && r < runs) x &= ~1u;
    b.push_back(x);
  }
  return b;
}

uint32_t sourceIndex(int32_t step, uint32_t x) {
  return step == 1 ? x / 2 : step == -1 ? 2 * x : x;
}

JobFailure halftonePage(Job& job, const PrintMode& mode, Resampler& source, uint32_t channels,
                        uint32_t runs, Page& page, bool progress) {
  const std::vector<uint32_t> bounds = runBoundaries(page.width, runs, mode.sourceStep == 1);
  const uint32_t perByte = 8 / page.bits;
  const size_t stride = page.rowBytes * page.height;
  Progress bar(progress);
  for (uint32_t y = 0; y < page.height; ++y) {
    const uint8_t* line = source.line(y);
    uint8_t* row = page.plane(0) + y * page.rowBytes;
    for (uint32_t r = 0; r + 1 < bounds.size(); ++r) {
      const uint32_t start = bounds[r], count = bounds[r + 1] - start;
      if (count == 0) continue;
      const KestrlStatus status = job.run(
          line + size_t{sourceIndex(mode.sourceStep, start)} * channels, row + start / perByte,
          static_cast<uint32_t>(stride), start % perByte, count, start, y);
      if (status != KESTRL_STATUS_OK) return halftoneFailure(mode, status, y, start, count);
    }
    bar.update(y + 1, page.height);
  }
  return {};
}

// ---- preview ----

struct Ink {
  const char* name;
  std::array<uint8_t, 3> rgb;
};
constexpr Ink kColourInks[] = {{"cyan", {0, 174, 239}},
                               {"magenta", {236, 0, 140}},
                               {"yellow", {255, 236, 0}},
                               {"black", {35, 31, 32}}};
constexpr Ink kBlackInk = {"black", {35, 31, 32}};

Ink inkOf(const Page& page, uint32_t k) {
  return page.planes == 4 ? kColourInks[k] : kBlackInk;
}

// Coverage in thirds for each byte: a one-bit dot counts 3, a two-bit dot
// its code (small 1, medium 2, large 3).
std::array<uint8_t, 256> coverageTable(uint32_t bits) {
  std::array<uint8_t, 256> t{};
  for (uint32_t b = 0; b < 256; ++b) {
    t[b] = bits == 1 ? static_cast<uint8_t>(3 * std::popcount(b))
                     : static_cast<uint8_t>((b & 3) + (b >> 2 & 3) + (b >> 4 & 3) + (b >> 6 & 3));
  }
  return t;
}

uint32_t pixelCoverage(uint8_t byte, uint32_t bits, uint32_t i) {
  return bits == 1 ? 3 * ((byte >> (7 - i)) & 1) : (byte >> (6 - 2 * i)) & 3;
}

Image makePreview(const Page& page, uint32_t xRes, uint32_t yRes, uint32_t longest) {
  const double inchesX = double(page.width) / xRes, inchesY = double(page.height) / yRes;
  const double ppi = std::min({double(std::min(xRes, yRes)), longest / std::max(inchesX, inchesY)});
  const uint32_t pw =
      std::clamp<uint32_t>(static_cast<uint32_t>(std::lround(inchesX * ppi)), 1, page.width);
  const uint32_t ph =
      std::clamp<uint32_t>(static_cast<uint32_t>(std::lround(inchesY * ppi)), 1, page.height);
  std::vector<uint32_t> column(page.width), cellPixels(size_t{pw} * ph, 0);
  for (uint32_t x = 0; x < page.width; ++x)
    column[x] = static_cast<uint32_t>(uint64_t{x} * pw / page.width);
  std::vector<uint32_t> sums(size_t{pw} * ph * page.planes, 0);
  const auto table = coverageTable(page.bits);
  const uint32_t perByte = 8 / page.bits;
  for (uint32_t y = 0; y < page.height; ++y) {
    const uint32_t py = static_cast<uint32_t>(uint64_t{y} * ph / page.height);
    for (uint32_t x = 0; x < page.width; ++x) ++cellPixels[size_t{py} * pw + column[x]];
    for (uint32_t k = 0; k < page.planes; ++k) {
      const uint8_t* row = page.plane(k) + y * page.rowBytes;
      uint32_t* cell = &sums[(size_t{k} * ph + py) * pw];
      for (uint32_t x0 = 0; x0 < page.width; x0 += perByte) {
        const uint8_t byte = row[x0 / perByte];
        const uint32_t last = std::min(x0 + perByte, page.width) - 1;
        if (column[x0] == column[last] && last == x0 + perByte - 1) {
          cell[column[x0]] += table[byte];
        } else {
          for (uint32_t x = x0; x <= last; ++x)
            cell[column[x]] += pixelCoverage(byte, page.bits, x - x0);
        }
      }
    }
  }
  Image preview{pw, ph, 3, std::vector<uint8_t>(size_t{pw} * ph * 3)};
  for (size_t i = 0; i < size_t{pw} * ph; ++i) {
    double rgb[3] = {1, 1, 1};
    for (uint32_t k = 0; k < page.planes; ++k) {
      const double coverage = sums[k * size_t{pw} * ph + i] / (3.0 * cellPixels[i]);
      for (int c = 0; c < 3; ++c) rgb[c] *= 1 - coverage * (1 - inkOf(page, k).rgb[c] / 255.0);
    }
    for (int c = 0; c < 3; ++c)
      preview.pixels[3 * i + c] = static_cast<uint8_t>(std::lround(255 * rgb[c]));
  }
  return preview;
}

bool writeOutputs(const Page& page, const PrintMode& mode, const RenderOptions& o, RenderSummary& s,
                  std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(o.outDir, ec);
  if (ec) {
    error = o.outDir + ": cannot create (" + ec.message() + ")";
    return false;
  }
  for (uint32_t k = 0; k < page.planes; ++k) {
    const std::string path =
        (std::filesystem::path(o.outDir) /
         (std::string("plane-") + inkOf(page, k).name + (page.bits == 1 ? ".pbm" : ".pgm")))
            .string();
    const bool ok = page.bits == 1
                        ? writePbm(path, page.width, page.height, page.plane(k), error)
                        : writeFourLevelPgm(path, page.width, page.height, page.plane(k), error);
    if (!ok) return false;
    s.outputs += path + "\n";
  }
  const std::string path = (std::filesystem::path(o.outDir) / "preview.png").string();
  if (!writePng(path, makePreview(page, mode.xResolution, mode.yResolution, o.previewSize), error))
    return false;
  s.outputs += path + "\n";
  return true;
}

// The printer grid: the picture's own pixels, or the print width in inches
// at the job's resolution with the picture's proportions.
bool pageSize(const Image& image, const RenderOptions& o, const PrintMode& mode, Page& page,
              std::string& error) {
  page.width = image.width;
  page.height = image.height;
  if (o.printWidth > 0) {
    const double w = std::round(o.printWidth * mode.xResolution);
    const double h = std::round(o.printWidth * image.height / image.width * mode.yResolution);
    if (!(w >= 1 && h >= 1 && w * h <= double(kMaxPagePixels))) {
      error = "a print width of " + std::to_string(o.printWidth) +
              " inches gives a page outside 1 to " + std::to_string(kMaxPagePixels) + " pixels";
      return false;
    }
    page.width = static_cast<uint32_t>(w);
    page.height = static_cast<uint32_t>(h);
  }
  if (mode.xResolution == 0 || mode.yResolution == 0) {
    error = "resolutions must be positive";
    return false;
  }
  if (uint64_t{page.width} * page.height > kMaxPagePixels) {
    error = "the page is larger than " + std::to_string(kMaxPagePixels) + " pixels";
    return false;
  }
  page.bits = mode.bitsPerPixel == 2 ? 2 : 1;
  page.planes = mode.colorInput ? 4 : 1;
  page.rowBytes = (size_t{page.width} * page.bits + 7) / 8;
  page.data.assign(page.rowBytes * page.height * page.planes, 0);
  return true;
}

}  // namespace

int render(const Image& image, const pack::Pack& pack, const RenderOptions& o, std::ostream& out,
           std::ostream& err, RenderSummary* summaryOut) {
  const auto start = Clock::now();
  const bool colour =
      o.input == InputKind::kColour || (o.input == InputKind::kAuto && image.channels == 3);
  JobSettings settings = o.job;
  PrintMode& mode = settings.printMode;
  mode.colorInput = colour ? 1 : 0;
  mode.inkSet = o.inkSet.value_or(colour ? 1 : 0);
  Page page;
  std::string error;
  if (!pageSize(image, o, mode, page, error)) {
    err << "kestrl: " << error << "\n";
    return kExitUsage;
  }
  mode.lineWidth = page.width;
  if (o.runs == 0 || o.runs > page.width) {
    err << "kestrl: --runs must be 1 to the line width (" << page.width << ")\n";
    return kExitUsage;
  }
  const Image converted = convertChannels(image, colour ? 3 : 1);
  const uint32_t samples = mode.sourceStep == 1    ? (page.width + 1) / 2
                           : mode.sourceStep == -1 ? 2 * page.width
                                                   : page.width;
  Resampler source(converted, samples, page.height);

  Job job;
  if (JobFailure f = job.open(pack, settings); f.failed()) {
    err << "kestrl: " << f.message << "\n";
    return f.exitCode;
  }
  const auto halftoneStart = Clock::now();
  JobFailure failure =
      halftonePage(job, mode, source, converted.channels, o.runs, page, o.progress);
  RenderSummary summary{page.width, page.height, page.planes, secondsSince(halftoneStart), 0, {}};
  const JobFailure closed = job.close();
  if (!failure.failed()) failure = closed;
  if (failure.failed()) {
    err << "kestrl: " << failure.message << "\n";
    return failure.exitCode;
  }
  if (!writeOutputs(page, mode, o, summary, error)) {
    err << "kestrl: " << error << "\n";
    return kExitFailure;
  }
  summary.totalSeconds = secondsSince(start);
  const double pixels = double(page.width) * page.height;
  char line[256];
  std::snprintf(
      line, sizeof line,
      "kestrl: %u x %u pixels (%.1f Mpixel), %u plane%s, %u-bit: resampled and halftoned in %.2f s "
      "(%.1f Mpixel/s), %.2f s in all\n",
      page.width, page.height, pixels / 1e6, page.planes, page.planes == 1 ? "" : "s", page.bits,
      summary.halftoneSeconds, pixels / 1e6 / std::max(summary.halftoneSeconds, 1e-9),
      summary.totalSeconds);
  out << line;
  if (summaryOut) *summaryOut = summary;
  return kExitOk;
}

}  // namespace kestrl::tool
