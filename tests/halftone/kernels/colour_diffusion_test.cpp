// The shared machinery of the colour diffusion engines on its turning
// points: error-line upkeep, node choice, smoothing, activity, perturbation,
// the colour patterns' parity and choice, and the last-pixel dither.
#include "halftone/kernels/colour_diffusion.h"

#include <gtest/gtest.h>

#include "halftone/engines/bilevel_colour_loop.h"
#include "halftone/kernels/spread_kernels.h"
#include "halftone/support/colour_reference.h"

namespace kestrl::halftone {
namespace {

using namespace testing;
using namespace diffusion;

// The upkeep rules on their boundaries (previous line, previous run end,
// this line, start; line width 1000).
TEST(DiffuseBilevel, ErrorLineUpkeepRules) {
  struct Case {
    uint32_t prevLine, prevEnd, line, startX;
    CellInterval expected;
  };
  const uint32_t minus1 = kRestartLine;
  const Case cases[] = {
      {10, 1000, 12, 0, {0, 1000}},          // a line skipped: everything
      {5, 300, minus1, 0, {0, 1000}},        // line -1 after an ordinary line
      {minus1 - 1, 300, minus1, 4, {0, 4}},  // line -1 after -2: only rule 2
      {minus1, 300, 0, 0, {300, 1000}},      // line 0 after -1 is the next line
      {minus1, 1000, 0, 0, {}},              // ... whose previous run filled its line
      {14, 500, 15, 40, {0, 40}},            // a sixteenth line not starting at 0
      {14, 500, 15, 0, {}},
      {30, 40, 30, 100, {}},           // a gap, not on a sixteenth line
      {31, 100, 31, 200, {100, 200}},  // a gap on a sixteenth line
      {31, 300, 31, 200, {}},          // a run overlapping the last one
      {31, 1000, 31, 60, {0, 60}},     // a full line counts as ending at 0
      {31, 300, 32, 0, {300, 1000}},   // the tail before a first line of sixteen
      {32, 300, 33, 0, {}},
      {40, 300, 3, 0, {}},  // a jump back: a new page clears nothing
      {7, 0, 7, 0, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(errorCellsToClear(c.prevLine, c.prevEnd, c.line, c.startX, 1000), c.expected)
        << c.prevLine << " " << c.prevEnd << " " << c.line << " " << c.startX;
  }
}

// Small pieces of the machinery, each on the values where it turns.
TEST(DiffuseBilevel, MachineryTurningPoints) {
  GridAxis axis{};
  axis.node[7] = 3, axis.lowerWeight[7] = 255;  // a value on a node
  axis.node[9] = 3, axis.lowerWeight[9] = 100;
  for (uint32_t m = 0; m < 0x10000; m += 37) {
    const uint32_t t = m & 0xFE;
    EXPECT_EQ(ditheredNode(axis, 7, t), 3u);  // never bumped at weight 255
    EXPECT_EQ(ditheredNode(axis, 9, t), t >= 100 ? 4u : 3u);
  }
  for (uint32_t a = 0; a < 256; a += 5)
    for (uint32_t b = 0; b < 256; b += 3)
      for (uint32_t p : {0u, 1u}) {
        const uint32_t word = NeighbourSmoothing::average(a * 0x01010101u, b << 16 | a, p);
        EXPECT_EQ(word >> 16 & 0xFF, (a + b + 1 - p) >> 1);
        EXPECT_EQ(word & 0xFF, a);
      }
  ActivityRegister activity;  // four zero levels stay active, the fifth idles
  const uint32_t levels[] = {0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 0, 0};
  const bool active[] = {1, 1, 1, 1, 0, 0, 1, 1, 1, 1, 1, 0};
  for (size_t i = 0; i < std::size(levels); ++i)
    EXPECT_EQ(activity.record(levels[i]), active[i]) << i;
  const std::pair<uint32_t, int32_t> nudges[] = {{7, 24},    {8, 20},    {129, 20}, {130, -20},
                                                 {247, -20}, {248, -24}, {256, 24}, {0x1FF, -24}};
  for (auto [m, d] : nudges) EXPECT_EQ(perturbation(m), d) << m;
}

// The parity-bound shares of the colour patterns sit on the other side from
// the similar grey rows: an even matrix value leaves N3's extra 2/32 on the
// next-line cell of x, an odd one on x + 5.
TEST(DiffuseBilevel, PatternParityIsTheColourEnginesOwn) {
  struct Case {
    size_t row;
    Parity parity;
    int offset, weight;  // where the parity-bound share lands (0: own cell)
    const KernelTable& grey;
  };
  const Case cases[] = {
      {kRow3, Parity::kEven, 0, 4 + 2, kBilevelKernels},
      {kRow3, Parity::kOdd, 5, 2, kBilevelKernels},
      {kRow5, Parity::kOdd, 10, 1, kBilevelKernels},
      {kRow6, Parity::kOdd, -15, 1, kBilevelKernels},
      {kRow6, Parity::kEven, -14, 1, kBilevelKernels},
  };
  for (const Case& c : cases) {
    std::array<int16_t, 61> colour{}, grey{};
    spread<kGeneralColourPatterns>(c.row, c.parity, &colour[30], 100, 0);
    spread<kBilevelKernels>(c.row == kRow3   ? size_t{bilevel_rows::kAboveLimit2}
                            : c.row == kRow5 ? size_t{bilevel_rows::kAboveT}
                                             : size_t{bilevel_rows::kWidest},
                            c.parity, &grey[30], 100, 0);
    EXPECT_EQ(colour[30 + c.offset], 100 * c.weight) << c.row;
    EXPECT_NE(grey[30 + c.offset], 100 * c.weight) << c.row;
  }
  std::array<int16_t, 61> w1{};
  spread<k1440ColourPatterns>(kRow1, Parity::kOdd, &w1[30], 10, 0);
  EXPECT_EQ(w1[31], 80);
  EXPECT_EQ(w1[27], 40);  // x - 3 when odd
}

// Pattern choice at the limits: the V patterns by level whether or not a
// dot was placed, the last limit lowered by an odd matrix value in every
// plane (double vertical) or in planes 0 and 3 only (general), never at 1440.
TEST(DiffuseBilevel, PatternChoiceAtTheLimits) {
  const SpreadLimits l{40, 23, 6, 3};
  struct Case {
    PatternFamily family;
    PlaneClass plane;
    uint32_t parity;
    bool dot;
    int32_t level;
    PatternRow expected;
  };
  using enum PatternFamily;
  const Case cases[] = {
      {kDoubleVertical, kPlane1, 0, false, 41, kRow1},
      {kDoubleVertical, kPlane1, 0, true, 24, kRow2},
      {kDoubleVertical, kPlanes0And3, 1, false, 23, kRow3},
      {kDoubleVertical, kPlane1, 0, true, 7, kRow4},
      {kDoubleVertical, kPlane1, 1, true, 3, kRow5},
      {kDoubleVertical, kPlane1, 0, true, 3, kRow6},
      {kDoubleVertical, kPlanes0And3, 1, true, 3, kRow5},
      {kGeneral, kPlane1, 0, false, 41, kRow1},
      {kGeneral, kPlane1, 0, false, 40, kRow2},
      {kGeneral, kPlanes0And3, 1, true, 3, kRow5},
      {kGeneral, kPlanes0And3, 0, true, 3, kRow6},
      {kGeneral, kPlane1, 1, true, 3, kRow6},
      {k1440, kPlanes0And3, 1, false, 99, kRow1},
      {k1440, kPlanes0And3, 1, true, 3, kRow6},
      {k1440, kPlane1, 0, true, 4, kRow5},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(choosePattern(c.family, l, c.plane, c.parity, c.dot, c.level), c.expected)
        << int(c.family) << " level " << c.level << " parity " << c.parity << " dot " << c.dot;
  }
}

// Over many sources and matrix values the last pixel places the dots its
// rule gives (levels from four bytes or from the grid node at 128, levels
// below 32 dropped), never both planes 3 and 0 nor both 1 and 2.
TEST(DiffuseBilevel, LastPixelDither) {
  const ColourTables t = colourTables(5);
  GridAxis axis;
  splitGridIndex(t.gridIndex.data(), axis);
  std::mt19937 random(8);
  uint32_t seen[4] = {};
  for (int i = 0; i < 20000; ++i) {
    const uint8_t source[4] = {uint8_t(random()), uint8_t(random()), uint8_t(random()),
                               uint8_t(random())};
    const bool fromSource = i % 2 == 0;
    uint32_t acc[4] = {};
    const uint32_t x = random() % 1024;
    ditherLastPixel(fromSource ? kLevelsFromSource : kLevelsFromGrid, source, &acc[0], &acc[1],
                    &acc[2], &acc[3], 0x10, axis.node.data(), axis.lowerWeight.data(),
                    t.grid.data(), t.levelTable.data(), t.matrix.data(), 31, x, nullptr, 1023);
    int node[3], L[4];
    for (int k = 0; k < 3; ++k)
      node[k] = t.gridIndex[2 * source[k]] + (t.gridIndex[2 * source[k] + 1] <= 128);
    for (int k = 0; k < 4; ++k) {
      const int c =
          fromSource ? source[k] : t.grid[((node[0] * 32 + node[1]) * 32 + node[2]) * 4 + k];
      L[k] = t.levelTable[fromSource || c >= 32 ? c : 0];
    }
    const int m = t.matrix[x % 32], flipped = 1023 - m;
    const bool expected[4] = {L[3] <= m && L[0] + L[3] > m, L[1] > flipped,
                              L[1] <= flipped && L[1] + L[2] > flipped, L[3] > m};
    for (int k = 0; k < 4; ++k) {
      EXPECT_EQ(acc[k], expected[k] ? 0x10u : 0u) << i << " plane " << k;
      seen[k] += expected[k];
    }
    EXPECT_FALSE(acc[0] && acc[3]);
    EXPECT_FALSE(acc[1] && acc[2]);
  }
  for (uint32_t n : seen) EXPECT_GT(n, 1000u);
}

}  // namespace
}  // namespace kestrl::halftone
