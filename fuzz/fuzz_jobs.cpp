#include "fuzz_jobs.h"

#include <algorithm>
#include <map>
#include <string>
#include <tuple>

#include "colour/resource_stages.h"
#include "halftone/stages/resource_stages.h"
#include "memory/byte_reader.h"

namespace kestrl::fuzz {

namespace {

constexpr uint32_t kMaxStages = 8;
// Wide enough that one error line no longer fits 64 KB (from 32707 pixels).
constexpr uint32_t kMaxLineWidth = 40000;
constexpr uint8_t kCanary = 0xA5;

// The bytes a run covers in one plane: from the first byte through the byte
// of the last pixel.
size_t runBytes(uint32_t bitOffset, uint32_t pixelCount, uint32_t bitsPerPixel) {
  return (size_t{bitOffset + pixelCount} * bitsPerPixel + 7) / 8;
}

// Source bytes the run may read: one value per pixel, one per two pixels
// (sourceStep 1) or two per pixel (sourceStep -1), three bytes a value for
// colour input.
size_t sourceBytes(const PrintMode& mode, uint32_t pixelCount) {
  size_t values = pixelCount;
  if (mode.sourceStep == 1) values = (size_t{pixelCount} + 1) / 2;
  if (mode.sourceStep == -1) values = 2 * size_t{pixelCount};
  // A grey value is one byte, an RGB pixel three, four ink levels (inkSet 4) four.
  const size_t bytesPerValue = mode.colorInput == 0 ? 1 : mode.inkSet == 4 ? 4 : 3;
  return values * bytesPerValue;
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

const std::vector<pack::Combination>& combinations() {
  static const std::vector<pack::Combination> all = pack::defaultCombinations();
  return all;
}

std::span<const uint8_t> defaultBlock(int32_t id) {
  const pack::Resource* resource = defaultPack().find(id);
  return resource ? std::span<const uint8_t>(resource->bytes) : std::span<const uint8_t>{};
}

PrintMode printModeFor(const pack::Combination& job, uint32_t lineWidth) {
  const uint32_t colour = job.colour ? 1 : 0;
  return PrintMode{
      job.mode, 0, colour,    colour, job.xResolution, job.yResolution, job.bitsPerPixel,
      0,        0, lineWidth, 0};
}

PrintMode readJob(Input& in, pack::Combination* job) {
  const pack::Combination& chosen = combinations()[in.pick(combinations().size())];
  if (job) *job = chosen;
  PrintMode mode = printModeFor(chosen, 1 + in.u16() % kMaxLineWidth);
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

KestrlStatus setColourResource(CmContext* context, std::span<const uint8_t> block,
                               int32_t* nextId) {
  return colour::setResource(context, ByteReader(block.data(), block.size()), nextId);
}

KestrlStatus setHalftoneResource(HalftoneContext* context, std::span<const uint8_t> block,
                                 int32_t* nextId) {
  return halftone::setResource(context, ByteReader(block.data(), block.size()), nextId);
}

void requireStatus(KestrlStatus status, std::initializer_list<KestrlStatus> allowed,
                   const char* call) {
  if (std::find(allowed.begin(), allowed.end(), status) == allowed.end())
    fail(std::string(call) + " answered the undocumented status " + std::to_string(status));
}

KestrlStatus runColourStages(CmContext* context, std::span<const uint8_t> replace,
                             uint32_t replaceStage) {
  int32_t id = 0;
  KestrlStatus status = KESTRL_STATUS_OK;
  for (uint32_t stage = 1; stage <= kMaxStages && id != -1; ++stage) {
    const std::span<const uint8_t> block = stage == replaceStage ? replace : defaultBlock(id);
    status = setColourResource(context, block, &id);
    requireStatus(status, {0, 257, 258, 768}, "CmSetResource");
    if (status != KESTRL_STATUS_OK) return status;
  }
  return status;
}

KestrlStatus runHalftoneStages(HalftoneContext* context, int32_t id,
                               const std::vector<std::vector<uint8_t>>& replace,
                               uint32_t replaceMask) {
  KestrlStatus status = KESTRL_STATUS_OK;
  for (uint32_t stage = 1; stage <= kMaxStages && id != -1; ++stage) {
    const bool replaced = (replaceMask >> (stage - 1) & 1) && stage - 1 < replace.size();
    const std::span<const uint8_t> block =
        replaced ? std::span<const uint8_t>(replace[stage - 1]) : defaultBlock(id);
    status = setHalftoneResource(context, block, &id);
    requireStatus(status, {0, 257, 258, 513, 514, 768}, "HalftoneSetResource");
    if (status != KESTRL_STATUS_OK) return status;
  }
  return status;
}

const CmLut& defaultLut(const PrintMode& mode) {
  using Key = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t>;
  // Never destroyed, so that the contexts stay reachable until the process
  // ends and the leak check does not count them.
  static auto* contexts = new std::map<Key, CmContext*>;
  const Key key{mode.mode, mode.colorInput, mode.xResolution, mode.yResolution, mode.bitsPerPixel};
  CmContext*& context = (*contexts)[key];
  if (context == nullptr) {
    const ColorSettings settings{};
    int32_t first = 0;
    require(CmNew(&settings, &mode, 0, &first, &context) == KESTRL_STATUS_OK, "CmNew failed");
    require(runColourStages(context) == KESTRL_STATUS_OK, "the default colour stages failed");
  }
  return *CmGetLut(context);
}

void runHalftoneCalls(HalftoneContext* context, const PrintMode& mode, Input& in, uint32_t calls) {
  const uint32_t bitsPerPixel = mode.bitsPerPixel == 2 ? 2 : 1;
  const uint32_t planes = mode.colorInput != 0 ? 4 : 1;
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
