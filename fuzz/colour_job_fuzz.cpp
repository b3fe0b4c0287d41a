// Whole colour jobs: colour settings, the tag list (gamma, tone curves,
// calibration record) and the job from the input, the default pack's
// resources, then the halftone stages and Halftone calls with fuzzed
// arguments. Some jobs first try the calls with null arguments, which must
// be refused before anything changes.
#include "colour/cm_context.h"
#include "fuzz_jobs.h"

using namespace kestrl;
using namespace kestrl::fuzz;

namespace {

constexpr size_t kCurveBytes = 3 * 256;
constexpr size_t kLongestRecord = 26;

struct Tags {
  int32_t count = 0;
  CmTagPair pairs[3]{};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  PrintMode mode = readJob(in);
  ColorSettings settings = readSettings(in);
  const uint8_t tagChoice = in.u8();
  int32_t gamma = in.flag() ? in.s32() : static_cast<int32_t>(in.u16() % 400);
  std::vector<uint8_t> curves = in.chunk();
  curves.resize(kCurveBytes, 0);
  std::vector<uint8_t> record = in.chunk();
  record.resize(std::max(record.size(), kLongestRecord), 0);

  Tags tags;
  if (tagChoice & 1) tags.pairs[tags.count++] = {1, &gamma};
  if (tagChoice & 2) tags.pairs[tags.count++] = {256, curves.data()};
  if (tagChoice & 4) tags.pairs[tags.count++] = {512, record.data()};
  if (tagChoice & 8) tags.count = -static_cast<int32_t>(tagChoice >> 4);
  settings.tagList = reinterpret_cast<const CmTagList*>(&tags);

  CmContext* cm = nullptr;
  int32_t id = 0;
  const bool nulls = tagChoice & 0x80;
  if (nulls) {
    requireStatus(CmNew(nullptr, &mode, 0, &id, &cm), {513}, "CmNew, null settings");
    requireStatus(CmNew(&settings, &mode, 0, &id, nullptr), {513}, "CmNew, null context");
    require(cm == nullptr, "a refused CmNew handed back a context");
  }
  require(CmNew(&settings, &mode, 0, &id, &cm) == KESTRL_STATUS_OK, "CmNew failed");
  if (nulls) {
    requireStatus(CmSetResource(cm, defaultBlock(id).data(), nullptr), {513},
                  "CmSetResource, null next-id word");
    require(cm->stage == 1, "a refused stage call moved the stage counter");
  }
  if (runColourStages(cm) == KESTRL_STATUS_OK) {
    HalftoneContext* ht = nullptr;
    const KestrlStatus created = HalftoneNew(&mode, CmGetLut(cm), 0, &id, &ht);
    requireStatus(created, {0}, "HalftoneNew");
    if (runHalftoneStages(ht, id) == KESTRL_STATUS_OK) runHalftoneCalls(ht, mode, in, 4);
    require(HalftoneDelete(ht) == KESTRL_STATUS_OK, "HalftoneDelete failed");
  }
  require(CmDelete(cm) == KESTRL_STATUS_OK, "CmDelete failed");
  return 0;
}
