// A plain reference of the mode-0 colour corner screening, written from the
// rules pixel by pixel, for the engine tests and the end-to-end tests.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "kestrl30.h"

namespace kestrl::halftone::testing {

using Planes = std::array<std::vector<uint32_t>, 4>;

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
  auto ink = [&](int node, int k) { return static_cast<int>(level[grid[4 * node + k]]); };
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t x = startX + i;
    const int cell = cells[(line % height) * width + x % width];
    const bool last = i == count - 1 && count % 2 == 1;
    const uint8_t* p;
    if (last) {
      p = source + (m.sourceStep == 1 ? 3 : 6) * (i / 2);
    } else if (m.sourceStep == 1) {
      p = source + 3 * (i / 2);
    } else {
      p = source + 3 * i;
    }
    const int node = corner(p);
    const int a0 = ink(node, 0), a1 = ink(node, 1), a2 = ink(node, 2), a3 = ink(node, 3);
    bool d0 = false, d1 = false, d2 = false, d3 = false;
    if (last) {
      d3 = cell < a3;
      if (!d3) d0 = a0 + a3 > cell;
      d1 = a1 > n - cell;
      if (!d1) d2 = a1 + a2 > n - cell;
    } else if (node != 7) {
      d3 = cell < a3;
      if (a3 + a0 <= n) {
        if (!d3) d0 = cell < a3 + a0;
      } else {
        d0 = a0 > n - cell;
      }
      d1 = a1 > n - cell;
      d2 = a2 > n - cell;
    }
    planes[0].push_back(d0);
    planes[1].push_back(d1);
    planes[2].push_back(d2);
    planes[3].push_back(d3);
  }
  return planes;
}

}  // namespace kestrl::halftone::testing
