// The spread patterns of the three diffused planes of a one-bit colour run,
// laid out for processing the planes side by side.
//
// The error cells of the planes are interleaved: pixel x holds four 16-bit
// cells, lane k for diffused plane k (lines 0, 1 and 2) and lane 3 unused.
// A vector of such cells covers a few neighbouring pixels. Spreading the
// errors of one pixel then adds, to every cell near x, weight x e per lane,
// where each lane takes its weight from the pattern row its own plane chose.
//
// The tables below hold, for every plane, row and parity, the row's weights
// by offset from x with the plane's lane set and the other lanes 0, so that
// the weights of a pixel are the sum of three rows read at the same offsets
// and no branch on a row is taken. Offset 0 holds the own share (cell x is
// set to the carry plus that share), and the carry weights are kept apart.
// Weights of h = e >> 1 (the widest 1440 row) are a second table that only
// families with such shares carry; their rows other than the widest are 0.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "halftone/kernels/spread_kernels.h"

namespace kestrl::halftone::diffusion::lanes {

inline constexpr size_t kPlanes = 3;         // diffused planes in lanes 0, 1, 2
inline constexpr size_t kCellsPerPixel = 4;  // the fourth lane is padding
// Offsets held per row: from -kLowestOffset to kLowestOffset - 1, covering
// the reach of every row plus the alignment of the widest vectors.
inline constexpr int kLowestOffset = 32;
inline constexpr size_t kOffsets = 2 * kLowestOffset;

// One plane's weights for one row and parity, the cells of kOffsets pixels.
using WeightRow = std::array<int16_t, kOffsets * kCellsPerPixel>;

struct LaneTable {
  // [plane][row][parity]; weights of e (and, in tapsOfHalf, of h).
  std::array<std::array<std::array<WeightRow, 2>, kRowsPerTable>, kPlanes> taps;
  // The carry weights of the four cells of a pixel, as one 64-bit word.
  std::array<std::array<std::array<uint64_t, 2>, kRowsPerTable>, kPlanes> carry;
};

constexpr LaneTable laneTableOf(const KernelTable& table, Of of) {
  LaneTable lanes{};
  for (size_t plane = 0; plane < kPlanes; ++plane) {
    for (size_t r = 0; r < kRowsPerTable; ++r) {
      for (Parity parity : {Parity::kEven, Parity::kOdd}) {
        const size_t p = static_cast<size_t>(parity);
        const auto weights = weightsByOffset(table[r], parity, of);
        WeightRow& row = lanes.taps[plane][r][p];
        for (int offset = -kReach; offset <= kReach; ++offset) {
          const int weight =
              offset == 0 ? ownWeight(table[r], parity, of) : weights[offset + kReach];
          const auto cell = static_cast<size_t>(offset + kLowestOffset) * kCellsPerPixel + plane;
          row[cell] = static_cast<int16_t>(weight);
        }
        const auto carry = static_cast<uint64_t>(amountOf(table[r].carry, parity, of));
        lanes.carry[plane][r][p] = carry << (16 * plane);
      }
    }
  }
  return lanes;
}

// The weights of e and of h of a pattern table, for the planes in lanes.
template <const KernelTable& kPatterns>
struct LanePatterns {
  static constexpr bool kHalf = usesHalf(kPatterns);
  static constexpr int kBelow = reachOf(kPatterns, Side::kBelow);
  static constexpr int kAbove = reachOf(kPatterns, Side::kAbove);
  static constexpr LaneTable kOfError = laneTableOf(kPatterns, Of::kError);
  static constexpr LaneTable kOfHalf = laneTableOf(kPatterns, Of::kHalf);
};

// Vectors of `pixels` pixels cover x - below .. x + above from the vector
// that starts `before` vectors below the one holding x, over `count` vectors,
// whatever x's place in its vector; every offset they cover lies in the table.
struct VectorWindow {
  int before;
  int count;
};

constexpr VectorWindow windowOf(int below, int above, int pixels) {
  const int before = (below + pixels - 1) / pixels;
  return {before, before + 1 + (above + pixels - 1) / pixels};
}

constexpr bool windowFits(int below, int above, int pixels) {
  const VectorWindow w = windowOf(below, above, pixels);
  const int lowest = -w.before * pixels - (pixels - 1);
  const int highest = (w.count - w.before) * pixels - 1;
  return lowest >= -kLowestOffset && highest < kLowestOffset;
}

template <const KernelTable& kPatterns>
constexpr bool fitsEveryWidth() {
  using P = LanePatterns<kPatterns>;
  for (int pixels : {2, 4, 8}) {
    if (!windowFits(P::kBelow, P::kAbove, pixels)) return false;
  }
  return true;
}

}  // namespace kestrl::halftone::diffusion::lanes
