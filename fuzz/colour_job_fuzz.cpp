// Whole colour jobs: colour settings, the tag list (gamma, tone curves,
// calibration record) and the job from the input, the default pack's
// resources, then the halftone stages and Halftone calls with fuzzed
// arguments. Some jobs first try the calls with null arguments, which must
// be refused before anything changes.
#include "colour/cm_context.h"
#include "fuzz_calls.h"

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
  pack::JobSettings job{readJob(in), readSettings(in), {}, {}, {}};
  const PrintMode& mode = job.printMode;
  const uint8_t tagChoice = in.u8();
  int32_t gamma = in.flag() ? in.s32() : static_cast<int32_t>(in.u16() % 400);
  std::vector<uint8_t> curves = in.chunk();
  curves.resize(kCurveBytes, 0);
  std::vector<uint8_t> record = in.chunk();
  record.resize(std::max(record.size(), kLongestRecord), 0);

  // Tag values without their sizes, as a driver of the plain calls gives them.
  Tags tags;
  if (tagChoice & 1) tags.pairs[tags.count++] = {1, &gamma};
  if (tagChoice & 2) tags.pairs[tags.count++] = {256, curves.data()};
  if (tagChoice & 4) tags.pairs[tags.count++] = {512, record.data()};
  if (tagChoice & 8) tags.count = -static_cast<int32_t>(tagChoice >> 4);
  job.colour.tagList = reinterpret_cast<const CmTagList*>(&tags);

  const bool nulls = tagChoice & 0x80;
  if (nulls) {
    CmContext* cm = nullptr;
    int32_t id = 0;
    requireStatus(CmNew(nullptr, &mode, 0, &id, &cm), {513}, "CmNew, null settings");
    requireStatus(CmNew(&job.colour, &mode, 0, &id, nullptr), {513}, "CmNew, null context");
    require(cm == nullptr, "a refused CmNew handed back a context");
  }
  pack::ColourTableJob colour;
  require(!colour.create(job).failed(), "CmNew failed");
  if (nulls) {
    requireStatus(CmSetResource(colour.context(), defaultBlock(colour.nextId()).data(), nullptr),
                  {513}, "CmSetResource, null next-id word");
    require(colour.context()->stage == 1, "a refused stage call moved the stage counter");
  }
  const pack::JobFailure stages = colour.feedStages(defaultPack(), stageBlocks());
  requireStages(stages, {0, 257, 258, 768}, "CmSetResource");
  if (!stages.failed()) {
    pack::HalftoneJob halftone;
    requireStages(halftone.create(mode, colour.lut()), {0}, "HalftoneNew");
    const pack::JobFailure fed = halftone.feedStages(defaultPack(), stageBlocks());
    requireStages(fed, {0, 257, 258, 513, 514, 768}, "HalftoneSetResource");
    if (!fed.failed()) runHalftoneCalls(halftone.context(), mode, in, 4);
    require(!halftone.close().failed(), "HalftoneDelete failed");
  }
  require(!colour.close().failed(), "CmDelete failed");
  return 0;
}
