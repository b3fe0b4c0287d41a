#include "halftone/kernels/colour_diffusion.h"

#include <algorithm>

namespace kestrl::halftone::diffusion {

namespace {

constexpr uint32_t kLineNumberCycle = 15;  // low four bits of a line number

}  // namespace

CellInterval errorCellsToClear(uint32_t previousLine, uint32_t previousRunEnd, uint32_t lineNumber,
                               uint32_t startX, uint32_t lineWidth) {
  const uint32_t previousEnd = previousRunEnd == lineWidth ? 0 : previousRunEnd;
  const uint32_t nextLine = previousLine + 1;
  const uint32_t phase = lineNumber & kLineNumberCycle;
  if (nextLine < lineNumber) return {0, lineWidth};
  if (lineNumber == nextLine && phase == kLineNumberCycle && startX != 0) return {0, startX};
  if (lineNumber == previousLine && phase == kLineNumberCycle && startX > previousEnd) {
    return {previousEnd, startX};
  }
  if (lineNumber == nextLine && phase == 0 && previousEnd != 0) return {previousEnd, lineWidth};
  return {};
}

void upkeepErrorLines(std::span<int16_t* const> lines, RunState& state, uint32_t lineWidth,
                      uint32_t lineNumber, uint32_t pixelCount, uint32_t startX) {
  const CellInterval clear =
      errorCellsToClear(state.lastLine, state.lastRunEnd, lineNumber, startX, lineWidth);
  state.lastLine = lineNumber;
  state.lastRunEnd = startX + pixelCount;
  const uint32_t to = std::min(clear.to, lineWidth);
  if (clear.from >= to) return;
  for (int16_t* line : lines) std::fill(line + clear.from, line + to, int16_t{0});
}

void splitGridIndex(const uint8_t* gridIndex, GridAxis& axis) {
  for (uint32_t v = 0; v < kLevelCount; ++v) {
    axis.node[v] = gridIndex[2 * v];
    axis.lowerWeight[v] = gridIndex[2 * v + 1];
  }
}

std::array<uint8_t, kInksPerNode> closingNodeLevels(const uint8_t* nodeColumn,
                                                    const uint8_t* weightColumn,
                                                    const uint8_t* colorGrid, const uint8_t* rgb,
                                                    uint32_t t, bool dropFaint) {
  const uint8_t* node =
      colorGrid + gridNodeOffset(ditheredNode(nodeColumn, weightColumn, rgb[0], t),
                                 ditheredNode(nodeColumn, weightColumn, rgb[1], t),
                                 ditheredNode(nodeColumn, weightColumn, rgb[2], t));
  std::array<uint8_t, kInksPerNode> levels;
  for (uint32_t k = 0; k < kInksPerNode; ++k) {
    levels[k] = dropFaint && node[k] < kFaintestClosingLevel ? uint8_t{0} : node[k];
  }
  return levels;
}

uint32_t closingDots(const ClosingPixel& pixel, const uint16_t* levelTable) {
  std::array<int32_t, kInksPerNode> share;
  for (uint32_t k = 0; k < kInksPerNode; ++k) share[k] = levelTable[levelOf(pixel.levels, k)];
  const int32_t m = pixel.cell;
  const bool dot3 = share[3] > m;
  const bool dot0 = !dot3 && share[0] + share[3] > m;
  const bool dot1 = share[1] > pixel.fromTop;
  const bool dot2 = !dot1 && share[1] + share[2] > pixel.fromTop;
  return uint32_t{dot0} | uint32_t{dot1} << 1 | uint32_t{dot2} << 2 | uint32_t{dot3} << 3;
}

ColourPlanes::ColourPlanes(uint8_t* destination, uint32_t planeStride, uint32_t bitOffset,
                           bool withPlane3)
    : mask(kFirstBit >> bitOffset), withPlane3_(withPlane3) {
  for (uint32_t plane = 0; plane < 4; ++plane) out_[plane] = destination + plane * planeStride;
  if (!withPlane3_) out_[3] = &scratch_;
  if (bitOffset == 0) return;
  const uint32_t kept = 0xFF00u >> bitOffset;  // the bits before the run's first pixel
  for (uint32_t plane = 0; plane < 3; ++plane) accumulator[plane] = *out_[plane] & kept;
  if (withPlane3_) accumulator[3] = *out_[3] & kept;
}

}  // namespace kestrl::halftone::diffusion
