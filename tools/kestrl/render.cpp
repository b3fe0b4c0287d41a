#include "kestrl/render.h"

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "kestrl/numbers.h"

namespace kestrl::tool {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint64_t kMaxPagePixels = uint64_t{1} << 29;

// Why a render stopped, with the command's exit code.
struct Failure {
  int exitCode = kExitOk;
  std::string message;
  bool failed() const { return exitCode != kExitOk; }
};

Failure fromJob(const JobFailure& f) {
  return f.failed() ? Failure{exitCodeOf(f), f.message} : Failure{};
}

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

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

// The printed page: its size on the printer grid and how its planes pack.
struct Page {
  uint32_t width = 0, height = 0, bits = 1, planes = 1;
  size_t rowBytes = 0;
  uint32_t perByte() const { return 8 / bits; }
};

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

// The page as printed, box-filtered down to at most `longest` pixels with
// the paper's proportions, built line by line as the page streams past:
// only one row of preview cells is summed at a time.
class PreviewBuilder {
 public:
  PreviewBuilder(const Page& page, uint32_t xRes, uint32_t yRes, uint32_t longest,
                 const colour::PrinterModel* proof)
      : page_(page), table_(coverageTable(page.bits)), proof_(proof) {
    const double inchesX = double(page.width) / xRes, inchesY = double(page.height) / yRes;
    const double ppi =
        std::min({double(std::min(xRes, yRes)), longest / std::max(inchesX, inchesY)});
    const auto side = [](double inches, double ppi, uint32_t pixels) {
      return std::clamp<uint32_t>(static_cast<uint32_t>(std::lround(inches * ppi)), 1, pixels);
    };
    image_ = {side(inchesX, ppi, page.width), side(inchesY, ppi, page.height), 3, {}};
    image_.pixels.assign(size_t{image_.width} * image_.height * 3, 255);
    column_.resize(page.width);
    columnPixels_.assign(image_.width, 0);
    for (uint32_t x = 0; x < page.width; ++x) {
      column_[x] = static_cast<uint32_t>(uint64_t{x} * image_.width / page.width);
      ++columnPixels_[column_[x]];
    }
    // One spare cell per plane takes the empty second half of a byte that
    // lies wholly in the last column.
    sums_.assign(size_t{image_.width + 1} * page.planes, 0);
    if (uint64_t{image_.width} * page.perByte() <= page.width) splitBytes();
  }

  // One printed line; plane k's packed row is at rows + k * planeStride.
  void addLine(uint32_t y, const uint8_t* rows, size_t planeStride) {
    const uint32_t row = static_cast<uint32_t>(uint64_t{y} * image_.height / page_.height);
    if (row != row_) flush();
    row_ = row;
    ++rowLines_;
    for (uint32_t k = 0; k < page_.planes; ++k) addPlaneRow(rows + k * planeStride, k);
  }

  const Image& finish() {
    flush();
    return image_;
  }

 private:
  // Preview columns at least a byte wide: each byte of a row falls into at
  // most two of them, split by a mask of the pixels in the first.
  struct ByteSplit {
    uint32_t column;
    uint8_t mask;
  };

  void splitBytes() {
    const uint32_t perByte = page_.perByte(), bits = page_.bits;
    const uint8_t pixelMask = static_cast<uint8_t>((1u << bits) - 1);
    for (uint32_t x0 = 0; x0 < page_.width; x0 += perByte) {
      ByteSplit split{column_[x0], 0};
      for (uint32_t i = 0; i < perByte && x0 + i < page_.width; ++i) {
        if (column_[x0 + i] == split.column)
          split.mask |= static_cast<uint8_t>(pixelMask << (8 - bits * (i + 1)));
      }
      splits_.push_back(split);
    }
  }

  void addPlaneRow(const uint8_t* row, uint32_t k) {
    uint32_t* cell = &sums_[size_t{k} * (image_.width + 1)];
    if (!splits_.empty()) {
      for (size_t b = 0; b < splits_.size(); ++b) {
        const ByteSplit s = splits_[b];
        cell[s.column] += table_[row[b] & s.mask];
        cell[s.column + 1] += table_[row[b] & ~s.mask];
      }
      return;
    }
    const uint32_t perByte = page_.perByte();
    for (uint32_t x0 = 0; x0 < page_.width; x0 += perByte) {
      const uint8_t byte = row[x0 / perByte];
      const uint32_t last = std::min(x0 + perByte, page_.width) - 1;
      if (column_[x0] == column_[last] && last == x0 + perByte - 1) {
        cell[column_[x0]] += table_[byte];
      } else {
        for (uint32_t x = x0; x <= last; ++x)
          cell[column_[x]] += pixelCoverage(byte, page_.bits, x - x0);
      }
    }
  }

  // Each cell's ink coverage (black for a single plane) through the profile.
  void proofRow(uint8_t* out) {
    inks_.assign(size_t{image_.width} * 4, 0);
    for (uint32_t px = 0; px < image_.width; ++px) {
      const double pixels = 3.0 * columnPixels_[px] * rowLines_;
      for (uint32_t k = 0; k < page_.planes; ++k) {
        const uint32_t ink = page_.planes == 4 ? k : 3;
        inks_[4 * px + ink] = sums_[size_t{k} * (image_.width + 1) + px] / pixels;
      }
    }
    proof_->inksToSrgb(inks_.data(), image_.width, out);
  }

  void flush() {
    if (rowLines_ == 0) return;
    uint8_t* out = &image_.pixels[size_t{row_} * image_.width * 3];
    if (proof_) proofRow(out);
    for (uint32_t px = 0; px < image_.width && !proof_; ++px) {
      double rgb[3] = {1, 1, 1};
      const double pixels = 3.0 * columnPixels_[px] * rowLines_;
      for (uint32_t k = 0; k < page_.planes; ++k) {
        const double coverage = sums_[size_t{k} * (image_.width + 1) + px] / pixels;
        for (int c = 0; c < 3; ++c) rgb[c] *= 1 - coverage * (1 - inkOf(page_, k).rgb[c] / 255.0);
      }
      for (int c = 0; c < 3; ++c) out[3 * px + c] = static_cast<uint8_t>(std::lround(255 * rgb[c]));
    }
    std::fill(sums_.begin(), sums_.end(), 0);
    rowLines_ = 0;
  }

  const Page& page_;
  const std::array<uint8_t, 256> table_;
  const colour::PrinterModel* proof_;
  std::vector<double> inks_;
  Image image_;
  std::vector<uint32_t> column_, columnPixels_, sums_;
  std::vector<ByteSplit> splits_;
  uint32_t row_ = 0, rowLines_ = 0;
};

// ---- halftoning band by band ----

// How the job's engine reads its source: one value per pixel, one per pixel
// pair (sourceStep 1), or two per pixel where the engine combines a pair
// into one (sourceStep -1 in the one-bit grey engines; the others read one
// value per pixel then). The picture is sampled to match, so that every
// step prints the whole picture at the page's size.
enum class SourceReading { kPerPixel, kPerPair, kTwoPerPixel };

SourceReading sourceReading(const PrintMode& mode) {
  if (mode.sourceStep == 1) return SourceReading::kPerPair;
  return pack::combinesPairs(mode) ? SourceReading::kTwoPerPixel : SourceReading::kPerPixel;
}

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

uint32_t sourceIndex(SourceReading reading, uint32_t x) {
  return reading == SourceReading::kPerPair       ? x / 2
         : reading == SourceReading::kTwoPerPixel ? 2 * x
                                                  : x;
}

// Halftones each band as it arrives and writes it to the plane files and
// the preview. Runs on whichever thread delivers the bands, one band at a
// time, so the job's context is never used by two threads at once.
class PageSink : public BandSink {
 public:
  PageSink(Job& job, const PrintMode& mode, const Page& page, uint32_t pictureChannels,
           uint32_t runs, std::vector<PlaneFile>& files, PreviewBuilder& preview, bool progress)
      : job_(job),
        page_(page),
        pictureChannels_(pictureChannels),
        jobChannels_(mode.colorInput == 0   ? 1
                     : pictureChannels == 4 ? 4
                                            : 3),
        reading_(sourceReading(mode)),
        bounds_(runBoundaries(page.width, runs, reading_ == SourceReading::kPerPair)),
        files_(files),
        preview_(preview),
        progress_(progress) {
    line_.resize(pack::sourceSamples(mode, page.width) * jobChannels_);
  }

  bool band(const uint8_t* lines, size_t stride, uint32_t first, uint32_t count) override {
    const auto start = Clock::now();
    const size_t planeStride = page_.rowBytes * count;
    dots_.assign(planeStride * page_.planes, 0);
    for (uint32_t i = 0; i < count; ++i) {
      if (!halftoneLine(convert(lines + i * stride), dots_.data() + i * page_.rowBytes, planeStride,
                        first + i))
        return false;
    }
    halftoneSeconds += secondsSince(start);
    for (uint32_t k = 0; k < page_.planes; ++k) {
      std::string error;
      if (!files_[k].write(dots_.data() + k * planeStride, page_.rowBytes, count, error)) {
        failure = {kExitFailure, error};
        return false;
      }
    }
    for (uint32_t i = 0; i < count; ++i)
      preview_.addLine(first + i, dots_.data() + i * page_.rowBytes, planeStride);
    ++bands;
    largestBand = std::max(largestBand, count);
    progress_.update(first + count, page_.height);
    return true;
  }

  Failure failure;
  double halftoneSeconds = 0;
  uint32_t bands = 0, largestBand = 0;

 private:
  // The picture's line with the job's channel count: RGB to grey by
  // luminance, grey to RGB by copying.
  const uint8_t* convert(const uint8_t* in) {
    if (pictureChannels_ == jobChannels_) return in;
    const size_t samples = line_.size() / jobChannels_;
    for (size_t i = 0; i < samples; ++i) {
      if (jobChannels_ == 1) {
        const uint8_t* p = in + 3 * i;
        line_[i] = static_cast<uint8_t>((77 * p[0] + 150 * p[1] + 29 * p[2] + 128) >> 8);
      } else {
        std::fill_n(&line_[3 * i], 3, in[i]);
      }
    }
    return line_.data();
  }

  bool halftoneLine(const uint8_t* source, uint8_t* row, size_t planeStride, uint32_t y) {
    const uint32_t perByte = page_.perByte();
    for (size_t r = 0; r + 1 < bounds_.size(); ++r) {
      const uint32_t start = bounds_[r], count = bounds_[r + 1] - start;
      if (count == 0) continue;
      const KestrlStatus status = job_.run(
          source + size_t{sourceIndex(reading_, start)} * jobChannels_, row + start / perByte,
          static_cast<uint32_t>(planeStride), start % perByte, count, start, y);
      if (status != KESTRL_STATUS_OK) {
        failure = fromJob(pack::libraryFailure("Halftone (line " + std::to_string(y) + ", pixels " +
                                                   std::to_string(start) + " to " +
                                                   std::to_string(start + count) + ")",
                                               status));
        return false;
      }
    }
    return true;
  }

  Job& job_;
  const Page& page_;
  const uint32_t pictureChannels_, jobChannels_;
  const SourceReading reading_;
  const std::vector<uint32_t> bounds_;
  std::vector<PlaneFile>& files_;
  PreviewBuilder& preview_;
  Progress progress_;
  std::vector<uint8_t> line_, dots_;
};

// The printer grid: the print size at the job's resolution, the picture's
// proportions kept.
bool pageSize(const PictureInfo& picture, const RenderOptions& o, const PrintMode& mode, Page& page,
              PrintSize& size, std::string& error) {
  if (!printSize(picture.width, picture.height, picture.widthInches, picture.heightInches, o.size,
                 mode.xResolution, mode.yResolution, size, error)) {
    return false;
  }
  page.width = size.width;
  page.height = size.height;
  if (uint64_t{page.width} * page.height > kMaxPagePixels) {
    error = "a print of " + describeInches(size.widthInches, size.heightInches) + " is " +
            std::to_string(page.width) + " x " + std::to_string(page.height) +
            " printer pixels, more than " + std::to_string(kMaxPagePixels) +
            "; a smaller --print-width, --print-height or --paper shrinks it";
    return false;
  }
  page.bits = mode.bitsPerPixel == 2 ? 2 : 1;
  page.planes = mode.colorInput ? 4 : 1;
  page.rowBytes = (size_t{page.width} * page.bits + 7) / 8;
  return true;
}

std::string planeName(const Page& page, uint32_t k) {
  return std::string("plane-") + inkOf(page, k).name + (page.bits == 1 ? ".pbm" : ".pgm");
}

bool openPlanes(const RenderOptions& o, const Page& page, std::vector<PlaneFile>& files,
                std::string& error) {
  files.resize(page.planes);
  for (uint32_t k = 0; k < page.planes; ++k) {
    const std::string path = (std::filesystem::path(o.outDir) / planeName(page, k)).string();
    if (!files[k].open(path, page.width, page.height, page.bits, error)) return false;
  }
  return true;
}

constexpr const char* kPreviewName = "preview.png";

std::string describePicture(const PictureInfo& p) {
  std::string s = p.format + " " + std::to_string(p.width) + " x " + std::to_string(p.height);
  if (p.pages > 1) s += ", page " + std::to_string(p.page) + " of " + std::to_string(p.pages);
  if (p.turnedUpright) {
    s += ", turned upright (EXIF orientation " + std::to_string(p.orientation) + ")";
  } else if (p.orientation > 1) {
    s += ", EXIF orientation " + std::to_string(p.orientation) + " not applied";
  }
  if (p.kind == PictureKind::kInks) s += ", CMYK as ink levels";
  if (p.profileConverted) s += ", embedded colour profile converted to sRGB";
  return s;
}

// "8.00 x 5.33 in (...), fitted to Letter": the print size and where it came from.
std::string describeSize(const PrintSize& size, const RenderOptions& o) {
  static const char* const kBasis[] = {"as asked", "at the picture's own resolution", "fitted to "};
  std::string s = describeInches(size.widthInches, size.heightInches) + " " +
                  kBasis[static_cast<int>(size.basis)];
  if (size.basis == SizeBasis::kFitted) s += o.size.paper.name;
  return s;
}

}  // namespace

int render(Picture& picture, const pack::Pack& pack, const RenderOptions& o, std::ostream& out,
           std::ostream& err, RenderSummary* summaryOut) {
  const auto start = Clock::now();
  const PictureInfo& info = picture.info();
  const bool inks = info.kind == PictureKind::kInks;
  const bool colour = o.input == InputKind::kColour ||
                      (o.input == InputKind::kAuto && info.kind != PictureKind::kGrey);
  JobSettings settings = o.job;
  PrintMode& mode = settings.printMode;
  mode.colorInput = colour ? 1 : 0;
  mode.inkSet = o.inkSet.value_or(inks ? kInkLevelsInkSet : colour ? 1 : 0);
  Page page;
  PrintSize size;
  std::string error;
  if (!pageSize(info, o, mode, page, size, error)) {
    err << "kestrl: " << error << "\n";
    return kExitUsage;
  }
  mode.lineWidth = page.width;
  if (o.runs == 0 || o.runs > page.width) {
    err << "kestrl: --runs must be 1 to the line width (" << page.width << ")\n";
    return kExitUsage;
  }
  Job job;
  if (JobFailure f = job.open(pack, settings); f.failed()) {
    err << "kestrl: " << f.message << "\n";
    return exitCodeOf(f);
  }
  if (!job.adjustWarning().empty()) err << "kestrl: warning: " << job.adjustWarning() << "\n";
  std::vector<PlaneFile> files;
  PreviewBuilder preview(page, mode.xResolution, mode.yResolution, o.previewSize, o.proof);
  const std::string previewPath = (std::filesystem::path(o.outDir) / kPreviewName).string();
  PageSink sink(job, mode, page, static_cast<uint32_t>(info.kind), o.runs, files, preview,
                o.progress);
  Failure failure;
  if (!openPlanes(o, page, files, error)) {
    failure = {kExitFailure, error};
  } else if (!picture.stream(static_cast<uint32_t>(pack::sourceSamples(mode, page.width)),
                             page.height, sink, error)) {
    failure = sink.failure.failed() ? sink.failure : Failure{kExitBadInput, error};
  }
  const Failure closed = fromJob(job.close());
  if (!failure.failed()) failure = closed;
  for (PlaneFile& f : files) {
    if (!f.close(error) && !failure.failed()) failure = {kExitFailure, error};
  }
  if (!failure.failed() && !writePng(previewPath, preview.finish(), error))
    failure = {kExitFailure, error};
  if (failure.failed()) {
    err << "kestrl: " << failure.message << "\n";
    return failure.exitCode;
  }
  RenderSummary summary{page.width,       page.height,          page.planes,         sink.bands,
                        sink.largestBand, sink.halftoneSeconds, secondsSince(start), {}};
  for (uint32_t k = 0; k < page.planes; ++k) summary.outputs.push_back(planeName(page, k));
  summary.outputs.push_back(kPreviewName);
  const double pixels = double(page.width) * page.height;
  char line[1024];
  std::snprintf(line, sizeof line,
                "kestrl: %s -> %s, %u x %u pixels (%.1f Mpixel), %u plane%s, %u-bit, %u band%s of "
                "up to %u lines: halftoned in %.2f s (%.1f Mpixel/s), %.2f s in all\n",
                describePicture(info).c_str(), describeSize(size, o).c_str(), page.width,
                page.height, pixels / 1e6, page.planes, page.planes == 1 ? "" : "s", page.bits,
                summary.bands, summary.bands == 1 ? "" : "s", summary.largestBand,
                summary.halftoneSeconds, pixels / 1e6 / std::max(summary.halftoneSeconds, 1e-9),
                summary.totalSeconds);
  out << line;
  if (o.proof) out << "kestrl: preview.png is a soft proof through " << o.proof->describe() << "\n";
  if (summaryOut) *summaryOut = summary;
  return kExitOk;
}

}  // namespace kestrl::tool
