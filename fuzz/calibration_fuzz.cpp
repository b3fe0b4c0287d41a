// The calibration sequence: the record of tag 512 and the four calibration
// resources (channel map, nominal values, correction directory, correction
// tables), each either the default pack's or fuzzed, after the default
// directory and colour table. A finished sequence must leave a grid that a
// halftone job can use.
#include "fuzz_calls.h"

using namespace kestrl;
using namespace kestrl::fuzz;

namespace {

// "CW:", key, up to 20 values, 0xFE, 0xFF: the longest record a table of
// 20 channels reads. A tag value carries no size, so the record is padded.
constexpr size_t kLongestRecord = 26;

struct Tags {
  int32_t count = 1;
  CmTagPair pairs[1]{};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const PrintMode mode = readJob(in);
  const uint8_t fuzzed = in.u8();
  std::vector<uint8_t> record = in.chunk();
  record.resize(std::max(record.size(), kLongestRecord), 0);
  std::vector<std::vector<uint8_t>> blocks(4);
  for (auto& block : blocks) block = in.chunk();

  Tags tags;
  tags.pairs[0] = {512, record.data()};
  pack::JobSettings settings{mode, {}, {}, {}, {}};
  settings.colour.tagList = reinterpret_cast<const CmTagList*>(&tags);
  pack::ColourTableJob colour;
  require(!colour.create(settings).failed(), "CmNew failed");
  const pack::JobFailure stages =
      colour.feedStages(defaultPack(), stageBlocks(std::move(blocks), 3, fuzzed));
  requireStages(stages, {0, 768}, "CmSetResource");
  if (!stages.failed()) {
    pack::HalftoneJob halftone;
    require(!halftone.create(mode, colour.lut()).failed(), "HalftoneNew failed after calibration");
    const pack::JobFailure fed = halftone.feedStages(defaultPack(), stageBlocks());
    requireStages(fed, {0, 257, 258, 513, 514, 768}, "HalftoneSetResource");
    if (!fed.failed()) runHalftoneCalls(halftone.context(), mode, in, 2);
    require(!halftone.close().failed(), "HalftoneDelete failed");
  }
  require(!colour.close().failed(), "CmDelete failed");
  return 0;
}
