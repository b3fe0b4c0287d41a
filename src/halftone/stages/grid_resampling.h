// Resampling a colour grid onto new levels by tetrahedral interpolation in
// 7-bit fixed point (positions inside a grid cell in 1/128 steps).
#pragma once

#include <array>
#include <cstdint>

#include "common/tetrahedral.h"

namespace kestrl::halftone {

// Positions inside a cell run from 0 to this.
inline constexpr uint32_t kFractionOne = 128;

// Where each input level falls in an old grid whose axes share one list of
// levels p0 = 0 < p1 < ... < p(n-1) = 255.
struct AxisTable {
  std::array<uint8_t, 256> cell;  // i with p(i) <= v < p(i+1); 255 in the last cell
  std::array<uint8_t, 256> frac;  // position inside the cell, 0 to 128
  uint32_t points = 0;
  uint32_t channelCount = 0;
  const uint8_t* data = nullptr;  // node (i1, i2, i3) at ((i1 n + i2) n + i3) x channelCount
};

// Builds the axis table. The levels must rise strictly from 0 to 255 and
// points must be at least 2 (the caller checks).
void buildAxisTable(const uint8_t* levels, uint32_t points, uint32_t channelCount,
                    const uint8_t* data, AxisTable& table);

// True when the first `points` levels rise strictly from 0 to 255 and there
// are at least two of them: what both the axis table and the grid index need.
bool levelsUsable(const uint8_t* levels, uint32_t points);

// Evaluates the old grid at every node of the new grid (the three axes at
// levels1/2/3, each newPoints long; first axis slowest) and writes
// channelCount bytes per node to out.
void fillGrid(const AxisTable& table, const uint8_t* levels1, const uint8_t* levels2,
              const uint8_t* levels3, uint32_t newPoints, uint8_t* out);

}  // namespace kestrl::halftone
