#include "fuzz_calls.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <tuple>

namespace kestrl::fuzz {

namespace {

// Wide enough that one error line no longer fits 64 KB (from 32707 pixels).
constexpr uint32_t kMaxLineWidth = 40000;
constexpr uint8_t kCanary = 0xA5;

// The bytes a run covers in one plane: from the first byte through the byte
// of the last pixel.
size_t runBytes(uint32_t bitOffset, uint32_t pixelCount, uint32_t bitsPerPixel) {
  return (size_t{bitOffset + pixelCount} * bitsPerPixel + 7) / 8;
}

// Source bytes the run may read.
size_t sourceBytes(const PrintMode& mode, uint32_t pixelCount) {
  return pack::sourceSamples(mode, pixelCount) * pack::sampleBytes(mode);
}

// Arguments the call is given as null instead.
enum NullArgument : uint8_t { kNullSource = 1, kNullDestination = 2, kNullContext = 4 };

struct RunArgs {
  uint32_t planeStride, bitOffset, pixelCount, startX, lineNumber, reserved9, reserved10;
  uint8_t nulls;
};

RunArgs readRun(Input& in, const PrintMode& mode, uint32_t bitsPerPixel) {
  RunArgs r{};
  const uint32_t width = mode.lineWidth;
  r.startX = in.u16() % (width + 2);
  r.pixelCount = in.u16() % (width + 2);
  r.bitOffset = in.u8() % (bitsPerPixel == 2 ? 4 : 8);
  const uint8_t strideChoice = in.u8();
  const size_t bytes = runBytes(r.bitOffset, r.pixelCount, bitsPerPixel);
  r.planeStride =
      strideChoice & 0x80 ? static_cast<uint32_t>(bytes + (strideChoice & 7)) : strideChoice & 0x3F;
  const uint8_t lineChoice = in.u8();
  r.lineNumber = lineChoice == 0xFF ? 0xFFFFFFFFu : lineChoice;
  const uint8_t reserved = in.u8();
  r.reserved9 = reserved & 0x01 ? in.u8() : 0;
  r.reserved10 = reserved & 0x02 ? in.u8() : 0;
  r.nulls = static_cast<uint8_t>(reserved >> 2 & 7);
  return r;
}

// True when byte i of the output lies inside the run's bytes of a plane.
bool insidePlanes(size_t i, const RunArgs& r, size_t bytes, uint32_t planes) {
  for (uint32_t k = 0; k < planes; ++k) {
    const size_t start = size_t{k} * r.planeStride;
    if (i >= start && i < start + bytes) return true;
  }
  return false;
}

void checkOutput(const std::vector<uint8_t>& out, const RunArgs& r, size_t bytes, uint32_t planes,
                 uint32_t bitsPerPixel) {
  for (size_t i = 0; i < out.size(); ++i) {
    if (!insidePlanes(i, r, bytes, planes))
      require(out[i] == kCanary, "Halftone wrote outside the planes of its run");
  }
  if (bytes == 0) return;
  const auto lead = static_cast<uint8_t>(~(0xFFu >> (r.bitOffset * bitsPerPixel)) & 0xFF);
  const bool overlapping = planes > 1 && r.planeStride < bytes;
  for (uint32_t k = 0; k < planes && !overlapping; ++k) {
    require((out[size_t{k} * r.planeStride] & lead) == (kCanary & lead),
            "Halftone changed the bits before the run's first pixel");
  }
}

}  // namespace

const pack::Pack& defaultPack() {
  static const pack::Pack pack = pack::makeDefaultPack();
  return pack;
}

std::span<const uint8_t> defaultBlock(int32_t id) {
  const pack::Resource* resource = defaultPack().find(id);
  return resource ? std::span<const uint8_t>(resource->bytes) : std::span<const uint8_t>{};
}

PrintMode readJob(Input& in) {
  static const std::vector<pack::Combination> combinations = pack::defaultCombinations();
  const pack::Combination& job = combinations[in.pick(combinations.size())];
  const uint32_t colour = job.colour ? 1 : 0;
  PrintMode mode{job.mode, 0, colour, colour, job.xResolution, job.yResolution, job.bitsPerPixel,
                 0,        0, 0,      0};
  mode.lineWidth = 1 + in.u16() % kMaxLineWidth;
  const uint8_t variation = in.u8();
  mode.colorMethod = variation & 3;
  const int32_t steps[] = {0, 1, -1, 0};
  mode.sourceStep = steps[(variation >> 2) & 3];
  return mode;
}

ColorSettings readSettings(Input& in) {
  const auto adjustment = [&] { return static_cast<int32_t>(in.u8() % 101) - 50; };
  ColorSettings s{};
  s.adjustMode = in.u8() & 1;
  s.brightness = adjustment();
  s.contrast = adjustment();
  s.saturation = adjustment();
  s.redOffset = adjustment();
  s.greenOffset = adjustment();
  s.blueOffset = adjustment();
  s.selectNumber = in.u8() % 3;
  s.selectName = in.u8() % 3;
  s.classOverride = in.u8() % 6;
  s.colorClass = in.u8() % 6;
  s.greyStyle = in.u8() & 1 ? 50 : 0;
  return s;
}

pack::BlockOverride stageBlocks(std::vector<std::vector<uint8_t>> blocks, uint32_t firstStage,
                                uint32_t mask) {
  return [blocks = std::move(blocks), firstStage, mask](
             uint32_t stage, int32_t id) -> std::optional<std::span<const uint8_t>> {
    const uint32_t i = stage - firstStage;
    if (stage >= firstStage && i < blocks.size() && (mask >> i & 1)) return blocks[i];
    return defaultBlock(id);
  };
}

void requireStatus(KestrlStatus status, std::initializer_list<KestrlStatus> allowed,
                   const char* call) {
  if (std::find(allowed.begin(), allowed.end(), status) == allowed.end())
    fail(std::string(call) + " answered the undocumented status " + std::to_string(status));
}

void requireStages(const pack::JobFailure& failure, std::initializer_list<KestrlStatus> allowed,
                   const char* call) {
  if (failure.kind == pack::JobFailure::Kind::kLibrary)
    requireStatus(failure.status, allowed, call);
}

const CmLut& defaultLut(const PrintMode& mode) {
  using Key = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t>;
  // Never destroyed, so that the contexts stay reachable until the process
  // ends and the leak check does not count them.
  static auto* jobs = new std::map<Key, std::unique_ptr<pack::ColourTableJob>>;
  const Key key{mode.mode, mode.colorInput, mode.xResolution, mode.yResolution, mode.bitsPerPixel};
  std::unique_ptr<pack::ColourTableJob>& job = (*jobs)[key];
  if (!job) {
    job = std::make_unique<pack::ColourTableJob>();
    require(!job->open(defaultPack(), {mode, {}, {}, {}, {}}).failed(),
            "the default colour stages failed");
  }
  return job->lut();
}

void runHalftoneCalls(HalftoneContext* context, const PrintMode& mode, Input& in, uint32_t calls) {
  const uint32_t bitsPerPixel = pack::bitsPerDot(mode);
  const uint32_t planes = pack::planeCount(mode);
  for (uint32_t call = 0; call < calls && in.remaining() > 0; ++call) {
    const RunArgs r = readRun(in, mode, bitsPerPixel);
    const bool fits = r.startX + r.pixelCount <= mode.lineWidth;
    const size_t bytes = fits ? runBytes(r.bitOffset, r.pixelCount, bitsPerPixel) : 0;
    std::vector<uint8_t> source(fits ? sourceBytes(mode, r.pixelCount) : 0);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(in.u8() ^ i);
    std::vector<uint8_t> out(std::max<size_t>(1, size_t{planes - 1} * r.planeStride + bytes),
                             kCanary);
    const KestrlStatus status = Halftone(
        r.nulls & kNullContext ? nullptr : context, r.nulls & kNullSource ? nullptr : source.data(),
        r.nulls & kNullDestination ? nullptr : out.data(), r.planeStride, r.bitOffset, r.pixelCount,
        r.startX, 0, r.lineNumber, r.reserved9, r.reserved10);
    requireStatus(status, {0, 512, 513, 518, 522, 523, 768}, "Halftone");
    const bool nullForPixels = (r.nulls & kNullContext) || (r.nulls != 0 && r.pixelCount != 0);
    require(!nullForPixels || status == KESTRL_STATUS_BAD_PARAMETER,
            "Halftone took a null context or a null buffer for a run of pixels");
    if (status != KESTRL_STATUS_OK) {
      require(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == kCanary; }),
              "a refused Halftone call wrote output");
      continue;
    }
    require(fits, "Halftone accepted a run outside the line");
    checkOutput(out, r, bytes, planes, bitsPerPixel);
  }
}

}  // namespace kestrl::fuzz
