// The tetrahedral grid lookup and the grey ramp.
#include "colour/grid_lookup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "colour_test_support.h"

namespace kestrl::colour {
namespace {

using namespace testing;

// A table of 5 points with uneven levels, so the second and third axes are
// rescaled to the first axis' cell width.
pack::ColourTable unevenTable() {
  pack::ColourTable t = scrambledTable(5);
  t.levels = {std::vector<uint8_t>{0, 40, 90, 200, 255}, std::vector<uint8_t>{0, 10, 128, 129, 255},
              std::vector<uint8_t>{0, 70, 140, 210, 255}};
  return t;
}

std::vector<uint8_t> lookUp(const Job& table, uint8_t a, uint8_t b, uint8_t c) {
  const uint8_t pixel[4] = {0, a, b, c};
  std::vector<uint8_t> out(table.lut().channelCount);
  lookUpPixels(*table.context, table.lut(), 1, pixel, out.data());
  return out;
}

// An independent formulation: walk from the cell's low corner to its high
// corner, stepping first along the axis with the largest position.
std::vector<uint8_t> reference(const pack::ColourTable& t, const uint8_t in[3]) {
  const uint32_t n = t.points();
  uint32_t cell[3];
  uint32_t pos[3];
  for (int axis = 0; axis < 3; ++axis) {
    const auto& row = t.levels[axis];
    uint32_t p = 1;
    while (row[p] < in[axis]) ++p;
    cell[axis] = p - 1;
    pos[axis] = in[axis] - row[p - 1];
  }
  const uint32_t w = t.levels[0][cell[0] + 1] - t.levels[0][cell[0]];
  for (int axis = 1; axis < 3; ++axis) {
    pos[axis] = pos[axis] * w / (t.levels[axis][cell[axis] + 1] - t.levels[axis][cell[axis]]);
  }
  int order[3] = {0, 1, 2};
  // Ties: the first axis before the others, the second before the third.
  std::stable_sort(order, order + 3, [&](int x, int y) { return pos[x] > pos[y]; });
  uint32_t at[3] = {cell[0], cell[1], cell[2]};
  std::vector<uint32_t> sum(t.channelCount, 0);
  uint32_t previous = w;
  for (int step = 0; step <= 3; ++step) {
    const uint32_t next = step < 3 ? pos[order[step]] : 0;
    const uint8_t* node = t.grid.data() + ((at[0] * n + at[1]) * n + at[2]) * t.channelCount;
    for (uint32_t ch = 0; ch < t.channelCount; ++ch) sum[ch] += node[ch] * (previous - next);
    if (step < 3) ++at[order[step]];
    previous = next;
  }
  std::vector<uint8_t> out;
  for (uint32_t s : sum) out.push_back(static_cast<uint8_t>(s / w));
  return out;
}

TEST(GridLookup, MatchesTheCornerWalkEverywhere) {
  const pack::ColourTable t = unevenTable();
  Job table;
  ASSERT_EQ(table.load(pack::buildColourTable(t)), kOk);
  std::mt19937 random(5);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int trial = 0; trial < 20000; ++trial) {
    const uint8_t in[3] = {static_cast<uint8_t>(byte(random)), static_cast<uint8_t>(byte(random)),
                           static_cast<uint8_t>(byte(random))};
    ASSERT_EQ(lookUp(table, in[0], in[1], in[2]), reference(t, in))
        << int(in[0]) << "," << int(in[1]) << "," << int(in[2]);
  }
}

TEST(GridLookup, WalksThePixelStrideAndPacksTheOutput) {
  const pack::ColourTable t = unevenTable();
  Job table;
  ASSERT_EQ(table.load(pack::buildColourTable(t)), kOk);
  const uint8_t pixels[12] = {9, 0, 0, 0, 9, 40, 10, 70, 9, 255, 255, 255};
  uint8_t out[12];
  lookUpPixels(*table.context, table.lut(), 3, pixels, out);
  EXPECT_EQ(bytes(out, 4), lookUp(table, 0, 0, 0));
  EXPECT_EQ(bytes(out + 4, 4), lookUp(table, 40, 10, 70));
  EXPECT_EQ(bytes(out + 8, 4), lookUp(table, 255, 255, 255));
}

// The grey ramp follows the last channel along the neutral axis, and keeps
// 0 (kinds 1, 3) or 255 (kind 0) for level 255 only.
TEST(GridLookup, GreyRampReservesTheExtremeForLevel255) {
  struct Case {
    uint8_t kind;
    int lastChannel;  // every node's last channel; -1: scrambledTable's (r + g + b) / 3
    uint8_t expectedBelow255, expectedAt255;
  };
  for (const Case& c : {Case{0, 255, 254, 255}, Case{0, 0, 0, 0}, Case{1, 0, 1, 0},
                        Case{3, 0, 1, 0}, Case{1, 255, 255, 255}, Case{0, -1, 0, 255}}) {
    pack::ColourTable t = scrambledTable(3);
    for (size_t i = 3; c.lastChannel >= 0 && i < t.grid.size(); i += 4) t.grid[i] = c.lastChannel;
    t.lutKind = c.kind;
    ColorSettings settings = testing::standardSettings();
    settings.greyStyle = 0;  // composite grey: no last-channel axis rewrite
    Job table;
    ASSERT_EQ(table.load(pack::buildColourTable(t), settings), kOk);
    buildGreyRamp(*table.context, table.lut());
    for (int v = 1; v < 255; ++v) {
      ASSERT_EQ(table.lut().greyRamp[v], c.lastChannel < 0 ? v : c.expectedBelow255) << v;
    }
    EXPECT_EQ(table.lut().greyRamp[0], c.expectedBelow255);
    EXPECT_EQ(table.lut().greyRamp[255], c.expectedAt255);
  }
}

}  // namespace
}  // namespace kestrl::colour
