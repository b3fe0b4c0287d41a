// The colour table reader: a job and colour settings from the first bytes,
// a colour table block as stage 2 after the default directory, then the
// default halftone stages and a few Halftone calls on the grid and extra
// section the table left, through the library's record or a copy of it. A
// block that the pack's parser accepts must also load through the call
// without a size, padded as the tool pads it, to the same grid.
#include <cstring>

#include "fuzz_calls.h"
#include "pack/block_dump.h"

using namespace kestrl;
using namespace kestrl::fuzz;

namespace {

size_t gridBytes(const CmLut& lut) {
  const size_t n = static_cast<size_t>(lut.gridPoints[0]);
  return n * n * n * lut.channelCount;
}

// The unsized call on a block the pack's parser accepts gives the same grid.
void compareUnsized(const PrintMode& mode, const ColorSettings& settings,
                    const std::vector<uint8_t>& table, const CmLut& sizedLut) {
  const pack::Parsed<pack::ColourTable> parsed = pack::parseColourTable(table);
  if (!parsed.ok()) return;
  std::vector<uint8_t> padded(table);
  padded.resize(pack::colourTableReadLength(parsed.value, table.size()), 0);
  const std::span<const uint8_t> directory = defaultBlock(pack::default_ids::kColourDirectory);
  CmContext* cm = nullptr;
  int32_t id = 0;
  require(CmNew(&settings, &mode, 0, &id, &cm) == KESTRL_STATUS_OK, "CmNew failed");
  CmSetResourceSized(cm, directory.data(), static_cast<uint32_t>(directory.size()), &id);
  const KestrlStatus status = CmSetResource(cm, padded.data(), &id);
  require(status == KESTRL_STATUS_OK, "a table the pack accepts was refused without its size");
  const CmLut& lut = *CmGetLut(cm);
  require(gridBytes(lut) == gridBytes(sizedLut) &&
              std::memcmp(lut.gridData, sizedLut.gridData, gridBytes(lut)) == 0,
          "a table loads differently with and without its size");
  CmDelete(cm);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  pack::JobSettings settings{readJob(in), readSettings(in), {}, {}, {}};
  const PrintMode& mode = settings.printMode;
  const uint8_t choices = in.u8();
  if (choices & 1) settings.colour = ColorSettings{};
  const std::vector<std::vector<uint8_t>> table{in.chunk()};
  pack::ColourTableJob colour;
  require(!colour.create(settings).failed(), "CmNew failed");
  const pack::JobFailure stages = colour.feedStages(defaultPack(), stageBlocks(table, 2, 1));
  requireStages(stages, {0, 768}, "CmSetResource stage 2");
  if (!stages.failed()) {
    const CmLut& lut = colour.lut();
    require(lut.gridData != nullptr && lut.gridPoints[0] >= 2 &&
                lut.gridPoints[0] <= KESTRL_MAX_GRID_POINTS,
            "a loaded table has no usable grid");
    compareUnsized(mode, settings.colour, table[0], lut);
    const CmLut copy = lut;  // as a driver may pass it
    pack::HalftoneJob halftone;
    requireStages(halftone.create(mode, choices & 2 ? copy : lut), {0}, "HalftoneNew");
    const pack::JobFailure fed = halftone.feedStages(defaultPack(), stageBlocks());
    requireStages(fed, {0, 257, 258, 513, 514, 768}, "HalftoneSetResource");
    if (!fed.failed()) runHalftoneCalls(halftone.context(), mode, in, 3);
    require(!halftone.close().failed(), "HalftoneDelete failed");
  }
  require(!colour.close().failed(), "CmDelete failed");
  return 0;
}
