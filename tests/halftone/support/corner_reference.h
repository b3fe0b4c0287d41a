// A plain reference of the mode-0 colour corner screening, written from the
// rules pixel by pixel, for the engine tests and the end-to-end tests.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "kestrl30.h"

namespace kestrl::halftone::testing {

using Planes = std::array<std::vector<uint32_t>, 4>;

// The four planes of the colour corner screening from the ink levels a (as
// the level table gives them) at matrix cell m, n the matrix's top cell: for
// a pair of pixels, or for the last pixel of an odd run, which has rules of
// its own.
inline std::array<uint32_t, 4> cornerDots(const int32_t a[4], int32_t m, int32_t n, bool last) {
  const bool d3 = m < a[3];
  if (last) return {!d3 && a[0] + a[3] > m, a[1] > n - m, a[1] <= n - m && a[1] + a[2] > n - m, d3};
  return {a[3] + a[0] <= n ? !d3 && m < a[3] + a[0] : a[0] > n - m, a[1] > n - m, a[2] > n - m, d3};
}

// Written from the rules: pairs of pixels (the white corner prints nothing),
// then for an odd run one last pixel with its own rules.
inline Planes referenceCorners(const PrintMode& m, const std::vector<uint16_t>& cells,
                               uint32_t width, uint32_t height, const std::vector<uint16_t>& level,
                               const std::vector<uint8_t>& grid, const uint8_t* source,
                               uint32_t startX, uint32_t count, uint32_t line) {
  const int n = width * height - 1;
  Planes planes;
  auto corner = [&](const uint8_t* p) {
    return (p[0] > 128) * 4 + (p[1] > 128) * 2 + (p[2] > 128);
  };
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t x = startX + i;
    const int cell = cells[(line % height) * width + x % width];
    const bool last = i == count - 1 && count % 2 == 1;
    const uint8_t* p = source + (m.sourceStep == 1 ? 3 * (i / 2) : last ? 6 * (i / 2) : 3 * i);
    const int node = corner(p);
    int32_t a[4];
    for (int k = 0; k < 4; ++k) a[k] = level[grid[4 * node + k]];
    const auto dots = !last && node == 7 ? std::array<uint32_t, 4>{} : cornerDots(a, cell, n, last);
    for (int k = 0; k < 4; ++k) planes[k].push_back(dots[k]);
  }
  return planes;
}

}  // namespace kestrl::halftone::testing
