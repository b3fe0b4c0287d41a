// The halftone stage blocks: a job of the default pack, its colour table
// record (with fuzzed grey ramp and ink-gain percentages when asked), and
// each of the four stage blocks either the default pack's or fuzzed. Halftone
// is then called whatever the stages answered: a context whose stages
// failed must refuse the run or print from complete tables.
#include "fuzz_calls.h"

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

  pack::HalftoneJob job;
  requireStages(job.create(mode, lut), {0}, "HalftoneNew");
  requireStages(job.feedStages(defaultPack(), stageBlocks(std::move(blocks), 1, choices & 0x0F)),
                {0, 257, 258, 513, 514, 768}, "HalftoneSetResource");
  runHalftoneCalls(job.context(), mode, in, 3);
  require(!job.close().failed(), "HalftoneDelete failed");
  return 0;
}
