#include "job.h"

#include <array>
#include <cstring>

#include "colour/grid_lookup.h"
#include "common/status.h"

namespace kestrl::python {

namespace {

constexpr uint32_t kTagGamma = 1;
constexpr uint32_t kTagCurves = 256;
constexpr uint32_t kTagCalibration = 512;
constexpr int32_t kNoMoreResources = -1;
// A job asks for at most six resources a side; a pack whose blocks keep
// asking is refused rather than followed for ever.
constexpr int kMaxStages = 8;
constexpr uint32_t kInkLevelsInkSet = 4;

// Feeds resources from the pack until the library answers -1, through
// `setResource` (CmSetResourceSized or HalftoneSetResourceSized).
template <typename Context, typename SetResource>
void runStages(const pack::Pack& pack, Context* context, int32_t id, SetResource setResource,
               const char* call) {
  for (int stage = 1; id != kNoMoreResources; ++stage) {
    const std::string where = std::string(call) + " stage " + std::to_string(stage) +
                              " (resource " + std::to_string(id) + ")";
    if (stage > kMaxStages) throw LibraryError{kBadResource, where + ": the stages do not end"};
    const pack::Resource* resource = pack.find(id);
    if (resource == nullptr)
      throw LibraryError{kBadResource, where + ": the pack has no such resource"};
    const std::vector<uint8_t>& block = resource->bytes;
    const uint32_t status =
        setResource(context, block.data(), static_cast<uint32_t>(block.size()), &id);
    if (status != kOk) throw LibraryError{status, where};
  }
}

// One byte per dot for every packed byte: eight one-bit dots or four
// two-bit dots, most significant first.
template <uint32_t kBits>
struct UnpackTable {
  static constexpr uint32_t kDots = 8 / kBits;
  std::array<std::array<uint8_t, kDots>, 256> dots{};
  constexpr UnpackTable() {
    for (uint32_t byte = 0; byte < 256; ++byte) {
      for (uint32_t i = 0; i < kDots; ++i) {
        dots[byte][i] = static_cast<uint8_t>((byte >> (8 - kBits * (i + 1))) & ((1u << kBits) - 1));
      }
    }
  }
};

template <uint32_t kBits>
void unpack(const uint8_t* packed, uint32_t count, uint8_t* dots) {
  static constexpr UnpackTable<kBits> kTable;
  constexpr uint32_t kDots = UnpackTable<kBits>::kDots;
  const uint32_t whole = count / kDots;
  for (uint32_t i = 0; i < whole; ++i, dots += kDots) {
    std::memcpy(dots, kTable.dots[packed[i]].data(), kDots);
  }
  if (const uint32_t rest = count % kDots; rest != 0) {
    std::memcpy(dots, kTable.dots[packed[whole]].data(), rest);
  }
}

}  // namespace

std::string statusMeaning(uint32_t status) {
  const char* meaning = kestrl::statusMeaning(status);
  return meaning != nullptr ? meaning : "unknown status";
}

ColourJob::ColourJob(const pack::Pack& pack, const JobOptions& options) : options_(options) {
  if (options_.gamma) addTag(kTagGamma, &*options_.gamma, sizeof(int32_t));
  if (!options_.curves.empty()) {
    addTag(kTagCurves, options_.curves.data(), options_.curves.size());
    options_.colour.adjustMode = 1;
  }
  if (!options_.calibration.empty())
    addTag(kTagCalibration, options_.calibration.data(), options_.calibration.size());
  options_.colour.tagList = tags_.count != 0 ? reinterpret_cast<const CmTagList*>(&tags_) : nullptr;
  int32_t id = 0;
  const uint32_t status = CmNew(&options_.colour, &options_.mode, 0, &id, &cm_);
  if (status != kOk) {
    cm_ = nullptr;
    throw LibraryError{status, "CmNew"};
  }
  try {
    runStages(pack, cm_, id, CmSetResourceSized, "CmSetResource");
  } catch (...) {
    CmDelete(cm_);
    throw;
  }
}

ColourJob::~ColourJob() {
  CmDelete(cm_);
}

void ColourJob::addTag(uint32_t tag, const void* data, size_t size) {
  const int32_t i = tags_.count++;
  values_[i] = {data, static_cast<uint32_t>(size)};
  tags_.pairs[i] = {tag | KESTRL_TAG_SIZED, &values_[i]};
}

void ColourJob::lookUp(const uint8_t* rgb, size_t count, uint8_t* inks) const {
  // The grid reads pixels by the context's layout; this one reads packed RGB.
  CmContext layout = *cm_;
  layout.pixelStride = 3;
  for (int16_t k = 0; k < 3; ++k) layout.pixelOffset[k] = k;
  const colour::GridCells cells(lut());
  colour::lookUpPixels(layout, lut(), cells, static_cast<int32_t>(count), rgb, inks);
}

HalftoneJob::HalftoneJob(const pack::Pack& pack, const PrintMode& mode, const ColourJob& colour)
    : mode_(mode) {
  int32_t id = 0;
  const uint32_t status = HalftoneNew(&mode_, &colour.lut(), 0, &id, &context_);
  if (status != kOk) {
    context_ = nullptr;
    throw LibraryError{status, "HalftoneNew"};
  }
  try {
    runStages(pack, context_, id, HalftoneSetResourceSized, "HalftoneSetResource");
  } catch (...) {
    HalftoneDelete(context_);
    throw;
  }
}

HalftoneJob::~HalftoneJob() {
  HalftoneDelete(context_);
}

uint32_t HalftoneJob::sampleBytes() const {
  if (mode_.colorInput == 0) return 1;
  return mode_.inkSet == kInkLevelsInkSet ? 4 : 3;
}

uint64_t HalftoneJob::sourceSamples(uint64_t pixels) const {
  if (mode_.sourceStep == 1) return (pixels + 1) / 2;
  if (mode_.sourceStep == -1) return 2 * pixels;
  return pixels;
}

void unpackDots(const uint8_t* packed, uint32_t bitsPerDot, uint32_t count, uint8_t* dots) {
  if (bitsPerDot == 2) {
    unpack<2>(packed, count, dots);
  } else {
    unpack<1>(packed, count, dots);
  }
}

}  // namespace kestrl::python
