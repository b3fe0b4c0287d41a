// Whole halftone jobs with fuzzed print-mode words and Halftone arguments:
// any mode, colour method, ink set, resolution, bit depth, source step and
// line width, over the default pack's blocks and colour table record. Some
// jobs first try the calls with a null out-word, which must be refused
// before anything changes.
#include "fuzz_calls.h"
#include "halftone/halftone_context.h"

using namespace kestrl;
using namespace kestrl::fuzz;

namespace {

uint32_t resolution(Input& in) {
  constexpr uint32_t kCommon[] = {360, 720, 1440, 180};
  const uint8_t choice = in.u8();
  return choice < 0xF0 ? kCommon[choice % 4] : in.u16();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  PrintMode mode{};
  mode.mode = in.u8() % 5;
  mode.colorMethod = in.u8() % 4;
  mode.inkSet = in.u8() % 9;
  mode.colorInput = in.u8() % 3;
  mode.xResolution = resolution(in);
  mode.yResolution = resolution(in);
  mode.bitsPerPixel = in.u8() % 4;
  const int32_t steps[] = {0, 1, -1, 2};
  mode.sourceStep = steps[in.u8() % 4];
  mode.lineWidth = in.u16();
  mode.reserved8 = in.u8();
  mode.reserved10 = in.u8();

  // The colour table record of the nearest job the default pack lists.
  const PrintMode nearest{mode.mode <= 3 ? mode.mode : 1u,
                          0,
                          mode.colorInput != 0,
                          mode.colorInput != 0,
                          720,
                          720,
                          1,
                          0,
                          0,
                          64,
                          0};
  const CmLut& lut = defaultLut(nearest);
  const bool nulls = mode.reserved8 & 0x80;
  if (nulls) {
    HalftoneContext* ht = nullptr;
    int32_t id = 0;
    requireStatus(HalftoneNew(&mode, &lut, 0, nullptr, &ht), {513}, "HalftoneNew, null id word");
    requireStatus(HalftoneNew(&mode, &lut, 0, &id, nullptr), {513}, "HalftoneNew, null context");
    require(ht == nullptr && id == 0, "a refused HalftoneNew wrote its out-words");
  }
  // A refused HalftoneNew may still hand back a context, fed and run as any.
  pack::HalftoneJob job;
  requireStages(job.create(mode, lut), {0, 513}, "HalftoneNew");
  if (job.context()) {
    if (nulls) {
      requireStatus(HalftoneSetResource(job.context(), defaultBlock(job.nextId()).data(), nullptr),
                    {513}, "HalftoneSetResource, null next-id word");
      require(job.context()->stage == 0, "a refused stage call moved the stage counter");
    }
    requireStages(job.feedStages(defaultPack(), stageBlocks()), {0, 257, 258, 513, 514, 768},
                  "HalftoneSetResource");
  }
  runHalftoneCalls(job.context(), mode, in, 6);
  require(!job.close().failed(), "HalftoneDelete failed");
  return 0;
}
