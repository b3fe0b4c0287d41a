// The colour table reader: a job and colour settings from the first bytes,
// a colour table block as stage 2 after the default directory, then the
// default halftone stages and a few Halftone calls on the grid and extra
// section the table left, through the library's record or a copy of it. A
// block that the pack's parser accepts must also load through the call
// without a size, padded as the tool pads it, to the same grid.
#include <cstring>

#include "fuzz_jobs.h"
#include "pack/block_dump.h"

using namespace kestrl;
using namespace kestrl::fuzz;

namespace {

CmContext* loadTable(const PrintMode& mode, const ColorSettings& settings,
                     const std::vector<uint8_t>& table, bool sized, KestrlStatus& status) {
  CmContext* cm = nullptr;
  int32_t id = 0;
  require(CmNew(&settings, &mode, 0, &id, &cm) == KESTRL_STATUS_OK, "CmNew failed");
  setColourResource(cm, defaultBlock(pack::default_ids::kColourDirectory), &id);
  status = sized ? setColourResource(cm, table, &id) : CmSetResource(cm, table.data(), &id);
  requireStatus(status, {0, 768}, "CmSetResource stage 2");
  return cm;
}

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
  KestrlStatus status = 0;
  CmContext* cm = loadTable(mode, settings, padded, false, status);
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
  const PrintMode mode = readJob(in);
  ColorSettings settings = readSettings(in);
  const uint8_t choices = in.u8();
  if (choices & 1) settings = ColorSettings{};
  const std::vector<uint8_t> table = in.chunk();
  KestrlStatus status = 0;
  CmContext* cm = loadTable(mode, settings, table, true, status);
  if (status == KESTRL_STATUS_OK) {
    const CmLut& lut = *CmGetLut(cm);
    require(lut.gridData != nullptr && lut.gridPoints[0] >= 2 &&
                lut.gridPoints[0] <= KESTRL_MAX_GRID_POINTS,
            "a loaded table has no usable grid");
    compareUnsized(mode, settings, table, lut);
    const CmLut copy = lut;  // as a driver may pass it
    HalftoneContext* ht = nullptr;
    int32_t id = 0;
    const KestrlStatus created = HalftoneNew(&mode, choices & 2 ? &copy : &lut, 0, &id, &ht);
    requireStatus(created, {0}, "HalftoneNew");
    if (runHalftoneStages(ht, id) == KESTRL_STATUS_OK) runHalftoneCalls(ht, mode, in, 3);
    require(HalftoneDelete(ht) == KESTRL_STATUS_OK, "HalftoneDelete failed");
  }
  require(CmDelete(cm) == KESTRL_STATUS_OK, "CmDelete failed");
  return 0;
}
