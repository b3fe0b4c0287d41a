// The two-bit ordered dither's view of a level: its dot shares, read through
// the level table, as three nested thresholds.
#pragma once

#include <array>
#include <cstdint>

namespace kestrl::halftone {

// Large below the first threshold, medium below the second, small below the
// third (the shares are never negative, so they nest).
struct DotThresholds {
  uint32_t large, largeOrMedium, any;
};

// All 256 levels, built once per context.
using DotThresholdTable = std::array<DotThresholds, 256>;

// The thresholds of level l from its row of the dot table (small, medium,
// large shares) and the level table.
inline DotThresholds thresholdsOf(const uint8_t* dotTable, const uint16_t* level, uint32_t l) {
  const uint8_t* shares = dotTable + 3 * l;
  const uint32_t large = level[shares[2]];
  const uint32_t largeOrMedium = large + level[shares[1]];
  return {large, largeOrMedium, largeOrMedium + level[shares[0]]};
}

}  // namespace kestrl::halftone
