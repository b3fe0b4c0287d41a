// The halftone stage blocks: a job of the default pack, its colour table
// record (with fuzzed grey ramp and ink-gain percentages when asked), and
// each of the four stage blocks either the default pack's or fuzzed. Halftone
// is then called whatever the stages answered: a context whose stages
// failed must refuse the run or print from complete tables.
#include <cstring>

#include "fuzz_jobs.h"

using namespace kestrl;
using namespace kestrl::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const PrintMode mode = readJob(in);
  CmLut lut = defaultLut(mode);
  const uint8_t choices = in.u8();
  if (choices & 0x10) {
    for (uint8_t& level : lut.greyRamp) level = in.u8();
  }
  if (choices & 0x20) {
    lut.scaleParams[0] = static_cast<int16_t>(in.u16());
    lut.scaleParams[1] = static_cast<int16_t>(in.u16());
  }
  std::vector<std::vector<uint8_t>> blocks(4);
  for (auto& block : blocks) block = in.chunk();

  HalftoneContext* ht = nullptr;
  int32_t id = 0;
  const KestrlStatus created = HalftoneNew(&mode, &lut, 0, &id, &ht);
  requireStatus(created, {0}, "HalftoneNew");
  runHalftoneStages(ht, id, blocks, choices & 0x0F);
  runHalftoneCalls(ht, mode, in, 3);
  require(HalftoneDelete(ht) == KESTRL_STATUS_OK, "HalftoneDelete failed");
  return 0;
}
