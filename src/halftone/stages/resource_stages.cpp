#include "halftone/stages/resource_stages.h"

#include <cstring>

#include "common/block_layout.h"
#include "halftone/stages/grid_resampling.h"
#include "halftone/stages/stage_common.h"

namespace kestrl::halftone {

namespace {

using stages::blockTable;
using stages::idWord;
using stages::isPlainMode;
using stages::isTwoBit;
using stages::releaseAllAfter;

// ------------------------------------------------------------------ stage 1

uint32_t errorLineCount(const PrintMode& m) {
  if (isPlainMode(m))
    return m.colorInput != 0 && (m.colorMethod == 0 || m.colorMethod == 2) ? 1 : 0;
  return m.colorInput != 0 ? 4 : 1;
}

// Reads up to 15 ids ended by 0xFFFF into the id list as it goes. A
// sixteenth id, or a list that runs past the end of a block of known size,
// is refused; the ids read before it stay, and the later stages choose from
// them.
Status readIdList(HalftoneContext& c, ByteReader& block) {
  for (size_t count = 0;; ++count) {
    const uint16_t id = block.u16le(layout::id_list::kIdBytes * count);
    if (!block.ok()) return kBadResource;
    if (id == kEndOfIds) {
      c.resourceIdList[count] = kEndOfIds;
      return kOk;
    }
    if (count == layout::id_list::kMaxIds) return kBadResource;
    c.resourceIdList[count] = id;
  }
}

// One zero-filled block cut into views when all lines fit 64 KB together,
// else one block per line.
Status makeErrorLines(HalftoneContext& c) {
  const uint32_t count = c.bufferCount;
  const uint32_t lineBytes = errorLineBytes(c.printMode.lineWidth);
  MemoryBlock* lines = &c.blocks[kFirstErrorLineBlock];
  if (65535 / count >= lineBytes) {
    if (Status s = memory::allocateInto(lines[0], lineBytes * count, true); s != kOk) {
      return releaseAllAfter(c, s);
    }
    for (uint32_t k = 1; k < count; ++k) {
      stages::viewAt(c, kFirstErrorLineBlock + k, kFirstErrorLineBlock, k * lineBytes, lineBytes);
    }
    return kOk;
  }
  for (uint32_t k = 0; k < count; ++k) {
    if (Status s = memory::allocateInto(lines[k], lineBytes, true); s != kOk) {
      return releaseAllAfter(c, s);
    }
  }
  return kOk;
}

Status idListStage(HalftoneContext& c, ByteReader& block, int32_t* nextId) {
  c.bufferCount = errorLineCount(c.printMode);
  if (Status s = readIdList(c, block); s != kOk) return s;
  *nextId = idWord(c.resourceIdList[0]);
  if (c.bufferCount != 0) {
    if (Status s = makeErrorLines(c); s != kOk) return s;
  }
  for (uint32_t k = c.bufferCount; k < kErrorLineCount; ++k)
    c.blocks[kFirstErrorLineBlock + k] = {};
  return kOk;
}

// -------------------------------------------------------- stages 2 and later

// The stage-3 resource: one of three alternatives chosen by resolution.
uint16_t matrixResourceId(const HalftoneContext& c) {
  const PrintMode& m = c.printMode;
  if (stages::is1440x720(m)) return c.resourceIdList[3];
  if (m.yResolution * 2 == m.xResolution) return c.resourceIdList[2];
  return c.resourceIdList[1];
}

// ------------------------------------------------------------------ stage 2

constexpr uint32_t kGridLevels = layout::grid_levels::kPoints;
constexpr uint8_t kCornerLevels[2] = {0, 255};
// The corner engine of mode 0 reads four ink bytes per node.
constexpr uint32_t kCornerChannels = 4;

// The levels of the new grid: the block's 32 (checked) or the two corners.
Status newGridLevels(const HalftoneContext& c, ByteReader& block, const uint8_t** levels,
                     uint32_t* points) {
  if (c.printMode.mode == 0) {
    *levels = kCornerLevels;
    *points = 2;
    return kOk;
  }
  const uint16_t count = block.u16le(layout::grid_levels::kPointCount);
  if (!block.ok()) return kBadResource;
  if (count != kGridLevels) return kBadSecondParameter;
  *levels = block.bytes(layout::grid_levels::kLevels, kGridLevels);
  *points = kGridLevels;
  return block.ok() ? kOk : kBadResource;
}

// Grids the axis table or the engines could not walk safely are refused
// before anything changes: levels that do not rise strictly from 0 to 255
// (old or new), a channel count that is 0 or beyond a byte, and in mode 0 a
// node size other than the corner engine's four inks.
bool gridUsable(const CmLut& old, const uint8_t* levels, uint32_t points, uint32_t mode) {
  if (!stages::firstAxisUsable(old) || !levelsUsable(levels, points)) return false;
  if (old.channelCount == 0 || old.channelCount > 255) return false;
  return mode != 0 || old.channelCount == kCornerChannels;
}

Status colorGridStage(HalftoneContext& c, ByteReader& block) {
  const CmLut old = c.lut;
  if (old.gridBlock == nullptr || old.gridData == nullptr) {
    return releaseAllAfter(c, kBadParameter);
  }
  const uint8_t* levels = nullptr;
  uint32_t points = 0;
  if (Status s = newGridLevels(c, block, &levels, &points); s != kOk) {
    return s == kBadSecondParameter ? releaseAllAfter(c, s) : s;
  }
  if (!gridUsable(old, levels, points, c.printMode.mode)) return kBadResource;
  for (int axis = 0; axis < 3; ++axis) {
    c.lut.gridPoints[axis] = static_cast<int32_t>(points);
    std::memcpy(c.lut.breakpoints[axis], levels, points);
  }
  const uint32_t bytes = memory::roundUpTo4(points * points * points * old.channelCount);
  if (Status s = memory::allocateInto(c.blocks[kCurveOrGridBlock], bytes, false); s != kOk) {
    return releaseAllAfter(c, s);
  }
  c.lut.gridBlock = nullptr;
  c.lut.gridData = static_cast<uint8_t*>(c.blocks[kCurveOrGridBlock].data);
  AxisTable axes;
  buildAxisTable(old.breakpoints[0], static_cast<uint32_t>(old.gridPoints[0]), old.channelCount,
                 old.gridData, axes);
  fillGrid(axes, c.lut.breakpoints[0], c.lut.breakpoints[1], c.lut.breakpoints[2], points,
           c.lut.gridData);
  return kOk;
}

// The highest level v (from 255 down to 1) where the ramp falls from at least
// 4 at v - 1 to at most 3 at v, or 0 when there is none.
uint32_t lightEnd(const uint8_t* ramp) {
  for (uint32_t v = 255; v >= 1; --v) {
    if (ramp[v] <= 3 && ramp[v - 1] >= 4) return v;
  }
  return 0;
}

// The tone curve with a margin of h entries each side, for the jittered
// reading of the two-bit ordered dither. A ramp without the fall to 3 or a
// margin of 0 (the dither would take its jitter modulo 0) is refused before
// anything is allocated.
Status paddedCurveStage(HalftoneContext& c) {
  const uint8_t* ramp = c.lut.greyRamp;
  const uint32_t v = lightEnd(ramp);
  if (v == 0) return kBadResource;
  const uint32_t h = ((2 * (256 - v)) / (ramp[v - 1] + ramp[v]) + 1) / 2;
  if (h == 0) return kBadResource;
  if (Status s =
          memory::allocateInto(c.blocks[kCurveOrGridBlock], memory::roundUpTo4(4 * h + 514), false);
      s != kOk) {
    return releaseAllAfter(c, s);
  }
  auto* curve = blockTable<int16_t>(c, kCurveOrGridBlock);
  curve[0] = static_cast<int16_t>(2 * h);
  for (uint32_t k = 1; k <= h; ++k) curve[k] = ramp[0];
  for (uint32_t k = 0; k < 256; ++k) curve[h + 1 + k] = ramp[k];
  for (uint32_t k = h + 257; k <= 2 * h + 255; ++k) curve[k] = ramp[255];
  if (ramp[255] == 0) {
    for (uint32_t k = 256; k <= 2 * h + 255; ++k) curve[k] = 0;
  }
  return kOk;
}

Status toneCurveStage(HalftoneContext& c) {
  if (Status s = memory::allocateInto(c.blocks[kCurveOrGridBlock], 512, false); s != kOk) {
    return releaseAllAfter(c, s);
  }
  auto* curve = blockTable<uint16_t>(c, kCurveOrGridBlock);
  for (uint32_t k = 0; k < 256; ++k) curve[k] = c.lut.greyRamp[k];
  return kOk;
}

Status curveOrGridStage(HalftoneContext& c, ByteReader& block, int32_t* nextId) {
  *nextId = idWord(matrixResourceId(c));
  if (c.printMode.colorInput != 0) return colorGridStage(c, block);
  if (isTwoBit(c.printMode)) return paddedCurveStage(c);
  return toneCurveStage(c);
}

// ------------------------------------------------------------------ stage 4

constexpr uint32_t kDotTableRows = layout::dot_table::kRows;
constexpr uint32_t kDotTableBytes = layout::dot_table::kBytes;
constexpr uint32_t kMaxShareSum = layout::dot_table::kMaxShareSum;

// Copies the rows until the first whose shares add up to more than 255.
Status copyDotTable(uint8_t* table, ByteReader& block) {
  for (uint32_t row = 0; row < kDotTableRows; ++row) {
    const uint8_t* shares = block.bytes(3 * row, 3);
    if (shares == nullptr) return kBadResource;
    std::memcpy(table + 3 * row, shares, 3);
    if (uint32_t{shares[0]} + shares[1] + shares[2] > kMaxShareSum) return kBadResource;
  }
  return kOk;
}

// Reads the threshold of each level at the level's total dot share, through
// the scratch half of the table that stage 3 reserves for two-bit output.
void remapThresholds(int16_t* threshold, const uint8_t* dotTable) {
  int16_t* scratch = threshold + 256;
  for (uint32_t k = 0; k < kDotTableRows; ++k) {
    const uint8_t* row = dotTable + 3 * k;
    scratch[k] = threshold[row[0] + row[1] + row[2]];
  }
  std::memcpy(threshold, scratch, 256 * sizeof(int16_t));
}

// A fourth call is refused, with nothing written, unless stage 3 ran for
// two-bit output: only then does diffusionThreshold have the scratch half
// this stage needs (for one-bit output that room is gridIndex).
Status dotTableStage(HalftoneContext& c, ByteReader& block, int32_t* nextId) {
  const MemoryBlock& thresholds = c.blocks[kDiffusionThresholdBlock];
  if (!isTwoBit(c.printMode) || thresholds.data == nullptr ||
      c.blocks[kDotValueBlock].data == nullptr || thresholds.size < 2 * 256 * sizeof(int16_t)) {
    return kBadResource;
  }
  *nextId = -1;
  if (!block.require(0, kDotTableBytes)) return kBadResource;
  if (Status s = memory::allocateInto(c.blocks[kDotTableBlock], kDotTableBytes, false); s != kOk) {
    return releaseAllAfter(c, s);
  }
  auto* dotTable = blockTable<uint8_t>(c, kDotTableBlock);
  if (Status s = copyDotTable(dotTable, block); s != kOk) return s;
  auto* threshold = blockTable<int16_t>(c, kDiffusionThresholdBlock);
  const bool at1440 = c.printMode.xResolution == 1440;
  threshold[1] = at1440 ? 26 : 30;
  threshold[2] = at1440 ? 36 : 38;
  remapThresholds(threshold, dotTable);
  return kOk;
}

// The stage that completes a job: 3 for one-bit output, 4 (the dot table)
// for two-bit output.
uint32_t lastStage(const PrintMode& m) {
  return isTwoBit(m) ? 4 : 3;
}

Status runStage(HalftoneContext& c, ByteReader& block, int32_t* nextId) {
  if (c.stage == 1) return idListStage(c, block, nextId);
  if (matrixResourceId(c) == kEndOfIds) return kBadResource;
  switch (c.stage) {
    case 2:
      return curveOrGridStage(c, block, nextId);
    case 3:
      return stages::thresholdMatrixStage(c, block, nextId);
    case 4:
      return dotTableStage(c, block, nextId);
    default:
      return kBadResource;
  }
}

}  // namespace

// After every stage the engine's tables are described afresh; they are ready
// once every stage up to the last has succeeded. A call past the last stage
// is refused without changing anything. A null context or next-id word is
// refused with kBadParameter before the stage counter moves.
Status setResource(HalftoneContext* context, ByteReader block, int32_t* nextId) {
  if (context == nullptr || nextId == nullptr) return kBadParameter;
  HalftoneContext& c = *context;
  ++c.stage;
  const Status status = runStage(c, block, nextId);
  const uint32_t last = lastStage(c.printMode);
  if (status != kOk && c.stage <= last) c.setup.stageFailed = true;
  prepareEngine(c, !c.setup.stageFailed && c.stage >= last);
  return status;
}

}  // namespace kestrl::halftone
