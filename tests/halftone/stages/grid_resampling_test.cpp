// The axis table and the tetrahedral fill of the colour grid.
#include "halftone/stages/grid_resampling.h"

#include <gtest/gtest.h>

#include <vector>

namespace kestrl::halftone {
namespace {

TEST(AxisTable, CellsAndFractionsInSeventhBits) {
  const uint8_t levels[] = {0, 100, 255};
  AxisTable t;
  buildAxisTable(levels, 3, 1, nullptr, t);
  struct Entry {
    int v, cell, frac;
  };
  // frac = ((v - low) x 128 + width / 2) / width.
  for (Entry e : {Entry{0, 0, 0}, Entry{1, 0, 1}, Entry{50, 0, 64}, Entry{99, 0, 127},
                  Entry{100, 1, 0}, Entry{101, 1, 1}, Entry{254, 1, 127}, Entry{255, 1, 128}}) {
    EXPECT_EQ(t.cell[e.v], e.cell) << e.v;
    EXPECT_EQ(t.frac[e.v], e.frac) << e.v;
  }
}

// An old grid of n points on `levels`, one channel, node value by function.
template <typename F>
std::vector<uint8_t> oneChannelGrid(size_t n, F value) {
  std::vector<uint8_t> grid;
  for (size_t i1 = 0; i1 < n; ++i1)
    for (size_t i2 = 0; i2 < n; ++i2)
      for (size_t i3 = 0; i3 < n; ++i3) grid.push_back(value(i1, i2, i3));
  return grid;
}

uint8_t resampleAt(const std::vector<uint8_t>& grid, const std::vector<uint8_t>& levels, uint8_t x1,
                   uint8_t x2, uint8_t x3) {
  AxisTable t;
  buildAxisTable(levels.data(), static_cast<uint32_t>(levels.size()), 1, grid.data(), t);
  uint8_t out = 0;
  fillGrid(t, &x1, &x2, &x3, 1, &out);
  return out;
}

// Whatever the tetrahedron, a grid that is linear in the node indices is
// reproduced exactly: the value at fractions f is the base value plus
// (a f1 + b f2 + c f3) / 128, rounded.
TEST(FillGrid, ReproducesALinearGridAtEveryFractionOrder) {
  const std::vector<uint8_t> levels = {0, 128, 255};
  const auto grid = oneChannelGrid(3, [](size_t i1, size_t i2, size_t i3) {
    return static_cast<uint8_t>(60 * i1 + 30 * i2 + 10 * i3);
  });
  AxisTable t;
  buildAxisTable(levels.data(), 3, 1, grid.data(), t);
  for (int x1 = 0; x1 < 256; x1 += 7) {
    for (int x2 = 0; x2 < 256; x2 += 11) {
      for (int x3 = 0; x3 < 256; x3 += 13) {
        const int base = 60 * t.cell[x1] + 30 * t.cell[x2] + 10 * t.cell[x3];
        const int exact =
            (128 * base + 60 * t.frac[x1] + 30 * t.frac[x2] + 10 * t.frac[x3] + 64) / 128;
        EXPECT_EQ(resampleAt(grid, levels, x1, x2, x3), exact) << x1 << " " << x2 << " " << x3;
      }
    }
  }
}

// A grid of 3 points per axis on levels 0, 128, 255 (so a level below 128 is
// its own fraction in the first cell) that is 0 everywhere except for 128 at
// one corner of that cell: the result is that corner's weight in the
// tetrahedron the fractions select.
TEST(FillGrid, TetrahedronChoiceByFractionOrder) {
  const std::vector<uint8_t> levels = {0, 128, 255};
  struct Corner {
    size_t i1, i2, i3;
    int weight;
  };
  struct Case {
    const char* name;
    uint8_t f1, f2, f3;
    std::vector<Corner> corners;
  };
  const Case cases[] = {
      {"f1 >= f2 >= f3",
       90,
       40,
       10,
       {{0, 0, 0, 38}, {1, 0, 0, 50}, {1, 1, 0, 30}, {1, 1, 1, 10}, {0, 1, 0, 0}}},
      {"f1 >= f3 > f2", 90, 10, 40, {{1, 0, 0, 50}, {1, 0, 1, 30}, {1, 1, 1, 10}, {1, 1, 0, 0}}},
      {"f2 > f1 >= f3", 40, 90, 10, {{0, 1, 0, 50}, {1, 1, 0, 30}, {1, 1, 1, 10}, {1, 0, 0, 0}}},
      {"f2 >= f3 > f1", 10, 90, 40, {{0, 1, 0, 50}, {0, 1, 1, 30}, {1, 1, 1, 10}, {1, 1, 0, 0}}},
      {"f3 > f2 > f1", 10, 40, 90, {{0, 0, 1, 50}, {0, 1, 1, 30}, {1, 1, 1, 10}, {0, 1, 0, 0}}},
      {"f3 > f1 >= f2", 40, 10, 90, {{0, 0, 1, 50}, {1, 0, 1, 30}, {1, 1, 1, 10}, {0, 1, 1, 0}}},
      {"f1 = f2 = f3: B and the far corner only",
       50,
       50,
       50,
       {{0, 0, 0, 78}, {1, 1, 1, 50}, {1, 0, 0, 0}, {1, 1, 0, 0}}},
  };
  for (const Case& c : cases) {
    for (const Corner& corner : c.corners) {
      const auto grid = oneChannelGrid(3, [&](size_t i1, size_t i2, size_t i3) {
        return static_cast<uint8_t>(i1 == corner.i1 && i2 == corner.i2 && i3 == corner.i3 ? 128
                                                                                          : 0);
      });
      EXPECT_EQ(resampleAt(grid, levels, c.f1, c.f2, c.f3), corner.weight)
          << c.name << " corner " << corner.i1 << corner.i2 << corner.i3;
    }
  }
}

}  // namespace
}  // namespace kestrl::halftone
