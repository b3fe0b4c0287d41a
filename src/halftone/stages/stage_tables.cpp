// Stage 3: the threshold matrix, and the level, dot-value, threshold and
// grid-index tables computed from it and from the colour table record.
#include <array>
#include <cstring>

#include "common/arithmetic.h"
#include "common/block_layout.h"
#include "halftone/stages/stage_common.h"

namespace kestrl::halftone::stages {

namespace {

constexpr uint32_t kLevels = 256;
constexpr uint32_t kHalfTableBytes = kLevels * sizeof(int16_t);  // 512
namespace matrix_layout = layout::threshold_matrix;
constexpr uint32_t kCellsOffset = matrix_layout::kCells;
constexpr uint8_t kBytesPerCell = matrix_layout::kCellBytes;
constexpr uint32_t kMaxCells = matrix_layout::kMaxCells;  // matrixCells is kept to 16 bits

// ------------------------------------------------------------ spread limits

enum ResolutionClass : uint8_t { kEqual, k1440x720Mode1, kDoubleVertical, kOtherResolution };

ResolutionClass resolutionClass(const PrintMode& m) {
  if (m.xResolution == m.yResolution) return kEqual;
  if (is1440x720(m) && m.mode == 1) return k1440x720Mode1;
  if (m.yResolution == 2 * m.xResolution) return kDoubleVertical;
  return kOtherResolution;
}

using Limits = std::array<uint32_t, 4>;
constexpr int32_t kInkGainColumns[3] = {250, 350, 500};  // scaleParams[0]
// One-bit output: limits by resolution class (rows) and ink gain (columns).
constexpr Limits kOneBitLimits[4][3] = {
    {{32, 9, 4, 2}, {37, 20, 5, 2}, {55, 22, 8, 3}},
    {{30, 8, 5, 2}, {35, 18, 6, 3}, {52, 20, 9, 4}},
    {{40, 23, 6, 1}, {47, 30, 13, 2}, {63, 39, 14, 3}},
    {{56, 22, 11, 4}, {59, 27, 12, 5}, {60, 32, 14, 7}},
};
constexpr Limits kTwoBitLimits1440x720 = {14, 3, 0, 0};
constexpr Limits kTwoBitLimitsEqual = {15, 3, 1, 0};

Status setSpreadLimits(HalftoneContext& c) {
  const PrintMode& m = c.printMode;
  const Limits* limits = nullptr;
  if (isTwoBit(m)) {
    if (is1440x720(m)) {
      limits = &kTwoBitLimits1440x720;
    } else if (m.xResolution == m.yResolution) {
      limits = &kTwoBitLimitsEqual;
    } else {
      return kBadParameter;
    }
  } else {
    for (int column = 0; column < 3; ++column) {
      if (c.lut.scaleParams[0] == kInkGainColumns[column]) {
        limits = &kOneBitLimits[resolutionClass(m)][column];
      }
    }
    if (limits == nullptr) return kBadResource;
  }
  c.spreadLimit1 = (*limits)[0];
  c.spreadLimit2 = (*limits)[1];
  c.spreadLimit3 = (*limits)[2];
  c.spreadLimit4 = (*limits)[3];
  return kOk;
}

// ------------------------------------------------------------------- checks

// The stage-4 resource named by the colour side's id record (two-bit only),
// read only within the extra section when its size is known: a section too
// short for the record is refused like a malformed one.
Status dotTableResourceId(const HalftoneContext& c, int32_t* nextId) {
  const CmLut& lut = c.lut;
  if (lut.extraData == nullptr) return kBadResource;
  ByteReader record(lut.extraData, c.extraSizeKnown ? c.extraSize : ByteReader::kUnknownSize);
  namespace record_layout = layout::stage_four_record;
  if (!record.require(0, record_layout::kBytes)) return kBadResource;
  if (record.u32le(record_layout::kPresent) == 0 ||
      record.u16le(record_layout::kVersion) != record_layout::kSupportedVersion) {
    return kBadResource;
  }
  *nextId = idWord(record.u16le(record_layout::kDotTableId));
  return kOk;
}

// The largest ink gain at full ink for which every one-bit dotValue entry
// (which falls from 2.55 g to 2.55 m) fits a signed 16-bit cell: 255 m / 100
// must stay at most 32767.
constexpr int32_t kMaxFullInkGain = 12850;

bool isPowerOfTwo(uint32_t n) {
  return n != 0 && (n & (n - 1)) == 0;
}

bool toneCurvePassApplies(const PrintMode& m) {
  return m.bitsPerPixel == 1 && isPlainMode(m) && m.colorInput == 0;
}

// Data the engines could not use safely is refused before anything is
// allocated: a matrix width that is not a power of two (the engines mask the
// column with width - 1), an empty matrix or one of 65536 cells or more (the
// count is kept to 16 bits), cells that are not 16-bit, a block too short for
// its cells, breakpoints that do not rise strictly from 0 to 255 (the grid
// index divides by their steps), a one-bit ink gain at full ink below 1 (a
// dotValue of 0, which the level table divides by) or too large for 16 bits,
// and a tone-curve pass without the tone curve of stage 2.
bool matrixDataUsable(const HalftoneContext& c, ByteReader& block, uint32_t width,
                      uint32_t height) {
  const uint32_t cells = width * height;
  if (!isPowerOfTwo(width) || height == 0 || cells > kMaxCells) return false;
  if (block.u8(matrix_layout::kBytesPerCell) != kBytesPerCell ||
      !block.require(kCellsOffset, 2 * cells))
    return false;
  if (!firstAxisUsable(c.lut)) return false;
  if (!isTwoBit(c.printMode)) {
    const int32_t fullInkGain = c.lut.scaleParams[1];
    if (fullInkGain < 1 || fullInkGain > kMaxFullInkGain) return false;
  }
  if (toneCurvePassApplies(c.printMode)) {
    const MemoryBlock& curve = c.blocks[kCurveOrGridBlock];
    if (curve.data == nullptr || curve.size < kHalfTableBytes) return false;
  }
  return true;
}

// ------------------------------------------------------------------- tables

Status allocateMatrix(HalftoneContext& c, uint8_t bytesPerCell) {
  const PrintMode& m = c.printMode;
  const uint32_t levelBytes =
      isPlainMode(m) && m.colorInput == 0 ? 2 * kHalfTableBytes : kHalfTableBytes;
  const uint32_t cellBytes = memory::roundUpTo4(uint32_t{bytesPerCell} * c.matrixCells);
  if (Status s =
          memory::allocateInto(c.blocks[kThresholdMatrixBlock], cellBytes + levelBytes, false);
      s != kOk) {
    return releaseAllAfter(c, s);
  }
  viewAt(c, kLevelTableBlock, kThresholdMatrixBlock, cellBytes, levelBytes);
  return kOk;
}

Status allocateLevelTables(HalftoneContext& c) {
  const PrintMode& m = c.printMode;
  const uint32_t dotValueBytes = m.colorInput == 3 ? 2 * kHalfTableBytes : kHalfTableBytes;
  const uint32_t thresholdBytes = isTwoBit(m) ? 2 * kHalfTableBytes : kHalfTableBytes;
  const uint32_t total = dotValueBytes + thresholdBytes + kHalfTableBytes;
  if (Status s = memory::allocateInto(c.blocks[kDotValueBlock], total, true); s != kOk) {
    return releaseAllAfter(c, s);
  }
  viewAt(c, kDiffusionThresholdBlock, kDotValueBlock, dotValueBytes, thresholdBytes);
  viewAt(c, kGridIndexBlock, kDotValueBlock, dotValueBytes + thresholdBytes, kHalfTableBytes);
  return kOk;
}

// For each level: the grid point below it and that point's weight of 255.
void fillGridIndex(uint8_t* index, const uint8_t* p) {
  uint32_t j = 0;
  for (uint32_t v = 0; v < kLevels; ++v) {
    if (v == p[j]) {
      index[2 * v] = static_cast<uint8_t>(j);
      index[2 * v + 1] = 255;
      ++j;
    } else {
      index[2 * v] = static_cast<uint8_t>(j - 1);
      index[2 * v + 1] = static_cast<uint8_t>((p[j] - v) * 255 / (p[j] - p[j - 1]));
    }
  }
}

// What one printed dot counts for at each level: a quadratic fall from
// 2.55 g at level 0 to 2.55 m at level 255 for one-bit output, 255 for two.
void fillDotValue(int16_t* dotValue, const HalftoneContext& c) {
  if (isTwoBit(c.printMode)) {
    for (uint32_t i = 0; i < kLevels; ++i) dotValue[i] = 255;
    return;
  }
  const int32_t m = c.lut.scaleParams[1];
  const int32_t d = c.lut.scaleParams[0] - m;
  for (int32_t i = 0; i < 256; ++i) {
    const int32_t square = (255 - i) * (255 - i);
    dotValue[i] = static_cast<int16_t>((wrapAdd(wrapMul(square, d), 1) / 255 + 255 * m) / 100);
  }
}

void fillLevelTable(uint16_t* level, const int16_t* dotValue, const HalftoneContext& c) {
  const int32_t cells = c.matrixCells;
  for (int32_t i = 0; i < 256; ++i) {
    level[i] = static_cast<uint16_t>(((cells >> 8) * i * 255) / dotValue[i]);
  }
  level[255] = static_cast<uint16_t>(((cells - 1) * 255) / dotValue[255] + 1);
  if (!toneCurvePassApplies(c.printMode)) return;
  const uint16_t* tone = blockTable<const uint16_t>(c, kCurveOrGridBlock);
  uint16_t* scratch = level + kLevels;
  for (uint32_t k = 0; k < kLevels; ++k) scratch[k] = level[tone[k]];
  std::memcpy(level, scratch, kHalfTableBytes);
}

// The error a level must gather before a dot prints.
void fillDiffusionThreshold(int16_t* threshold, const int16_t* dotValue) {
  std::array<int32_t, 256> b{};
  for (int32_t k = 1; k <= 254; ++k) b[k] = (128 + 2 * k) / 3;
  for (int32_t j = 0; j <= 8; ++j) {
    b[1 + j] = 29 * (j + 1) / 10 + 20;
    b[254 - j] = 255 - b[1 + j];
  }
  threshold[0] = 128;
  threshold[255] = 128;
  for (int32_t k = 1; k <= 254; ++k) {
    const int32_t share = ((dotValue[k] - 255) / 3 + 255) * b[k] / 255;
    threshold[k] = static_cast<int16_t>((2560 - 20 * k) / 128 + share);
  }
}

}  // namespace

Status thresholdMatrixStage(HalftoneContext& c, ByteReader& block, int32_t* nextId) {
  if (!isTwoBit(c.printMode)) {
    *nextId = -1;
  } else if (Status s = dotTableResourceId(c, nextId); s != kOk) {
    return s;
  }
  const uint8_t widthByte = block.u8(matrix_layout::kWidth);
  const uint8_t heightByte = block.u8(matrix_layout::kHeight);
  if (!block.ok()) return kBadResource;
  const uint32_t width =
      widthByte == matrix_layout::kSideOf256 ? matrix_layout::kLargestSide : widthByte;
  const uint32_t height =
      heightByte == matrix_layout::kSideOf256 ? matrix_layout::kLargestSide : heightByte;
  if (!matrixDataUsable(c, block, width, height)) return kBadResource;
  c.matrixWidth = width;
  c.matrixHeight = height;
  c.matrixCells = static_cast<uint16_t>(width * height);
  if (Status s = allocateMatrix(c, block.u8(matrix_layout::kBytesPerCell)); s != kOk) return s;
  std::memcpy(c.blocks[kThresholdMatrixBlock].data, block.bytes(kCellsOffset, 2 * c.matrixCells),
              2 * c.matrixCells);
  if (Status s = allocateLevelTables(c); s != kOk) return s;
  fillGridIndex(blockTable<uint8_t>(c, kGridIndexBlock), c.lut.breakpoints[0]);
  if (Status s = setSpreadLimits(c); s != kOk) return s;
  auto* dotValue = blockTable<int16_t>(c, kDotValueBlock);
  fillDotValue(dotValue, c);
  fillLevelTable(blockTable<uint16_t>(c, kLevelTableBlock), dotValue, c);
  fillDiffusionThreshold(blockTable<int16_t>(c, kDiffusionThresholdBlock), dotValue);
  return kOk;
}

}  // namespace kestrl::halftone::stages
