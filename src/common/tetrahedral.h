// Tetrahedral interpolation in a three-axis grid of byte nodes.
//
// A point inside a grid cell has a fraction along each axis. The cell is cut
// into six tetrahedra, one per order of the three fractions; the one that
// holds the point runs from the cell's low corner along the axis of the
// largest fraction, then the second largest, to the high corner. The point
// is the weighted sum of those four nodes with weights one - f(first),
// f(first) - f(second), f(second) - f(third) and f(third), divided by one.
// Grid resampling and the colour grid lookup share this; they differ in the
// fixed-point unit `one`, the rounding of the division and the cell a level
// lying exactly on a grid point belongs to.
#pragma once

#include <array>
#include <cstdint>

namespace kestrl {

// Which cell a level that lies on a grid point belongs to.
enum class PointLevel : uint8_t {
  kStartsCell,  // the cell above the point (the last point ends the last cell)
  kEndsCell,    // the cell below the point (the first point starts the first cell)
};

// The cell of every level 0 to 255 on one axis whose points lie at levels
// rising strictly from 0 to 255 (at least two points): the index of the
// point at the cell's low end.
struct AxisCells {
  std::array<uint8_t, 256> low{};

  void build(const uint8_t* levels, uint32_t points, PointLevel rule) {
    uint32_t cell = 0;
    for (uint32_t v = 0; v < 256; ++v) {
      const bool pastPoint =
          rule == PointLevel::kStartsCell ? levels[cell + 1] <= v : levels[cell + 1] < v;
      if (pastPoint && cell + 2 < points) ++cell;
      low[v] = static_cast<uint8_t>(cell);
    }
  }
};

// The axes in the order of falling fraction; equal fractions keep the
// earlier axis first (a tie gives the vertex in question a zero weight, so
// the result does not depend on it).
struct AxisOrder {
  uint8_t first, second, third;
};

constexpr AxisOrder axisOrder(uint32_t f1, uint32_t f2, uint32_t f3) {
  if (f2 <= f1) {
    if (f3 <= f2) return {0, 1, 2};
    if (f3 <= f1) return {0, 2, 1};
    return {2, 0, 1};
  }
  if (f3 <= f1) return {1, 0, 2};
  if (f3 <= f2) return {1, 2, 0};
  return {2, 1, 0};
}

enum class Rounding : uint8_t {
  kNearest,  // (sum + one / 2) / one
  kDown,     // sum / one
};

// Interpolates `channels` bytes at fractions f (each 0 to one) in the cell
// whose low corner node is `low`; step[k] is the distance in bytes between
// neighbouring nodes along axis k.
template <Rounding kRounding>
inline void interpolate(const uint8_t* low, const std::array<uint32_t, 3>& step,
                        const std::array<uint32_t, 3>& f, uint32_t one, uint32_t channels,
                        uint8_t* out) {
  const AxisOrder o = axisOrder(f[0], f[1], f[2]);
  const uint8_t* v1 = low + step[o.first];
  const uint8_t* v2 = v1 + step[o.second];
  const uint8_t* v3 = v2 + step[o.third];
  const uint32_t w0 = one - f[o.first];
  const uint32_t w1 = f[o.first] - f[o.second];
  const uint32_t w2 = f[o.second] - f[o.third];
  const uint32_t w3 = f[o.third];
  const uint32_t half = kRounding == Rounding::kNearest ? one / 2 : 0;
  for (uint32_t k = 0; k < channels; ++k) {
    const uint32_t sum = w0 * low[k] + w1 * v1[k] + w2 * v2[k] + w3 * v3[k];
    out[k] = static_cast<uint8_t>((sum + half) / one);
  }
}

}  // namespace kestrl
