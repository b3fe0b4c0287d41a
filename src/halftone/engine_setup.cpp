#include "halftone/engine_setup.h"

#include "halftone/engine.h"
#include "halftone/halftone_context.h"
#include "halftone/kernels/colour_diffusion.h"
#include "halftone/kernels/error_line.h"
#include "halftone/kernels/matrix_row.h"
#include "halftone/kernels/packing.h"

namespace kestrl::halftone {

namespace {

// True when error lines 0 to needed - 1 exist and each has room for a cell per
// pixel of the line plus both margins. A released table (after a failed
// stage) has no lines: entry 1 owns the memory that views 2 to 4 point into.
bool hasErrorLines(const HalftoneContext& context, uint32_t needed) {
  if (needed > kErrorLineCount || context.bufferCount < needed) return false;
  if (needed > 0 && context.blocks[kFirstErrorLineBlock].data == nullptr) return false;
  const uint64_t bytesNeeded =
      (uint64_t{context.printMode.lineWidth} + 2 * kErrorLineMargin) * sizeof(int16_t);
  for (uint32_t k = 0; k < needed; ++k) {
    const MemoryBlock& line = context.blocks[kFirstErrorLineBlock + k];
    if (line.data == nullptr || line.size < bytesNeeded) return false;
  }
  return true;
}

// True when stage 3 has left a threshold matrix and its level table. After a
// failed stage the owned blocks are released (their data is null) while the
// level table, a view, may still point into freed memory; the matrix block
// is therefore the one to test.
bool hasMatrixTables(const HalftoneContext& context) {
  return context.blocks[kThresholdMatrixBlock].data != nullptr && context.matrixWidth != 0 &&
         context.matrixHeight != 0;
}

// The table a block holds, sized by the block (empty when the block has no data).
template <typename T>
std::span<T> viewOf(const MemoryBlock& block) {
  if (block.data == nullptr) return {};
  return {static_cast<T*>(block.data), block.size / sizeof(T)};
}

void describeErrorLines(const HalftoneContext& c, EngineTables& t) {
  for (uint32_t k = 0; k < kErrorLineCount; ++k) {
    if (!hasErrorLines(c, k + 1)) break;
    t.errorLines[k] = {viewOf<int16_t>(c.blocks[kFirstErrorLineBlock + k])};
  }
}

// Block 0 holds the colour grid for colour input, else the padded curve for
// two-bit output, else the tone curve.
void describeCurveOrGrid(const HalftoneContext& c, EngineTables& t) {
  const MemoryBlock& block = c.blocks[kCurveOrGridBlock];
  if (c.printMode.colorInput != 0) {
    t.colorGrid = viewOf<const uint8_t>(block);
  } else if (c.printMode.bitsPerPixel == 2) {
    t.paddedCurve = viewOf<const int16_t>(block);
  } else {
    t.toneCurve = viewOf<const uint16_t>(block);
  }
}

// The level table is a view into the matrix block and the thresholds and
// grid index views into the dot-value block: after a failed stage the owners
// are released while the views may still point into freed memory, so the
// owners decide.
void describeStageTables(const HalftoneContext& c, EngineTables& t) {
  if (hasMatrixTables(c)) {
    t.thresholdMatrix = {static_cast<const uint16_t*>(c.blocks[kThresholdMatrixBlock].data),
                         size_t{c.matrixWidth} * c.matrixHeight};
    t.levelTable = viewOf<const uint16_t>(c.blocks[kLevelTableBlock]);
  }
  const MemoryBlock& dotValues = c.blocks[kDotValueBlock];
  if (dotValues.data != nullptr) {
    const MemoryBlock& thresholds = c.blocks[kDiffusionThresholdBlock];
    t.dotValue = viewOf<const int16_t>(dotValues);
    if (thresholds.data != nullptr) {
      const auto dotValueBytes = static_cast<const uint8_t*>(thresholds.data) -
                                 static_cast<const uint8_t*>(dotValues.data);
      t.dotValue = t.dotValue.first(static_cast<size_t>(dotValueBytes) / sizeof(int16_t));
    }
    t.diffusionThreshold = viewOf<const int16_t>(thresholds);
    t.gridIndex = viewOf<const uint8_t>(c.blocks[kGridIndexBlock]);
  }
  t.dotTable = viewOf<const uint8_t>(c.blocks[kDotTableBlock]);
  t.matrixWidth = c.matrixWidth;
  t.matrixHeight = c.matrixHeight;
  t.matrixCells = c.matrixCells;
  t.spreadLimit1 = c.spreadLimit1;
  t.spreadLimit2 = c.spreadLimit2;
  t.spreadLimit3 = c.spreadLimit3;
  t.spreadLimit4 = c.spreadLimit4;
}

// The corner engine reads four ink bytes at each of the eight corner nodes.
constexpr size_t kCornerGridBytes = kCorners * kCornerInks;

bool has(uint32_t needs, Needs table) {
  return (needs & table) != 0;
}

}  // namespace

bool meetsNeeds(const EngineTables& t, uint32_t needs) {
  if (has(needs, kNeedsMatrix) && t.thresholdMatrix.data() == nullptr) return false;
  if (has(needs, kNeedsLevelTable) && t.levelTable.size() < 256) return false;
  if (has(needs, kNeedsToneCurve) && t.toneCurve.data() == nullptr) return false;
  if (has(needs, kNeedsPaddedCurve) && (t.paddedCurve.data() == nullptr || t.paddedCurve[0] <= 0)) {
    return false;
  }
  if (has(needs, kNeedsCornerGrid) &&
      (t.colorGrid.data() == nullptr || t.colorGrid.size() < kCornerGridBytes)) {
    return false;
  }
  if (has(needs, kNeedsColourGrid) && t.colorGrid.size() < diffusion::kColourGridBytes) {
    return false;
  }
  if (has(needs, kNeedsDotValue) && t.dotValue.data() == nullptr) return false;
  return !has(needs, kNeedsDotTable) || t.dotTable.data() != nullptr;
}

void prepareEngine(HalftoneContext& context, bool stagesComplete) {
  EngineSetup& setup = context.setup;
  setup.engineId = selectEngine(context.printMode);
  setup.pixelsPerByte = context.printMode.bitsPerPixel == 2 ? DotCodeWriter::kPixelsPerByte
                                                            : BitWriter::kPixelsPerByte;
  setup.tables = {};
  setup.tables.lineWidth = context.printMode.lineWidth;
  setup.tables.sourceStep = context.printMode.sourceStep;
  describeErrorLines(context, setup.tables);
  if (setup.engineId == EngineId::kNone) {
    setup.engine = nullptr;
    return;
  }
  const EngineDescriptor& descriptor = engineDescriptor(setup.engineId);
  setup.engine = descriptor.variant(context.printMode);
  if (!stagesComplete) return;
  EngineTables ready = setup.tables;
  describeCurveOrGrid(context, ready);
  describeStageTables(context, ready);
  if (!meetsNeeds(ready, descriptor.needs)) return;
  ready.ready = true;
  if (descriptor.prepare != nullptr) descriptor.prepare(ready);
  setup.tables = ready;
}

}  // namespace kestrl::halftone
