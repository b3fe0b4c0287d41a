// The calibration sequence: the record of tag 512 and the four calibration
// resources (channel map, nominal values, correction directory, correction
// tables), each either the default pack's or fuzzed, after the default
// directory and colour table. A finished sequence must leave a grid that a
// halftone job can use.
#include "fuzz_jobs.h"

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
  std::vector<uint8_t> blocks[4];
  for (auto& block : blocks) block = in.chunk();

  Tags tags;
  tags.pairs[0] = {512, record.data()};
  ColorSettings settings{};
  settings.tagList = reinterpret_cast<const CmTagList*>(&tags);
  CmContext* cm = nullptr;
  int32_t id = 0;
  require(CmNew(&settings, &mode, 0, &id, &cm) == KESTRL_STATUS_OK, "CmNew failed");
  KestrlStatus status = KESTRL_STATUS_OK;
  for (uint32_t stage = 1; stage <= 7 && id != -1 && status == KESTRL_STATUS_OK; ++stage) {
    const bool replaced = stage >= 3 && stage <= 6 && (fuzzed >> (stage - 3) & 1);
    const std::span<const uint8_t> block =
        replaced ? std::span<const uint8_t>(blocks[stage - 3]) : defaultBlock(id);
    status = setColourResource(cm, block, &id);
    requireStatus(status, {0, 768}, "CmSetResource");
  }
  if (status == KESTRL_STATUS_OK && id == -1) {
    HalftoneContext* ht = nullptr;
    require(HalftoneNew(&mode, CmGetLut(cm), 0, &id, &ht) == KESTRL_STATUS_OK,
            "HalftoneNew failed after calibration");
    if (runHalftoneStages(ht, id) == KESTRL_STATUS_OK) runHalftoneCalls(ht, mode, in, 2);
    require(HalftoneDelete(ht) == KESTRL_STATUS_OK, "HalftoneDelete failed");
  }
  require(CmDelete(cm) == KESTRL_STATUS_OK, "CmDelete failed");
  return 0;
}
