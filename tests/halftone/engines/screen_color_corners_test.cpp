// Four-plane screening of mode-0 colour input from the colour corners.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "halftone/support/corner_reference.h"
#include "halftone/support/test_context.h"

namespace kestrl::halftone::testing {
namespace {

PrintMode cornersMode(int32_t step = 0) {
  PrintMode m{};
  m.colorInput = 1;
  m.inkSet = 4;
  m.bitsPerPixel = 1;
  m.sourceStep = step;
  m.lineWidth = 400;
  m.xResolution = m.yResolution = 720;
  return m;
}

struct CornerJob {
  uint32_t width = 16, height = 4;
  std::vector<uint16_t> cells, level;
  std::vector<uint8_t> grid;

  // Cells and levels below `spread`: 70 puts both on either side of N = 63;
  // 65536 reaches the ends of the 16-bit range.
  explicit CornerJob(std::mt19937& random, uint32_t spread = 70)
      : cells(width * height), level(256), grid(32) {
    for (uint16_t& c : cells) c = static_cast<uint16_t>(random() % spread);
    for (uint16_t& l : level) l = static_cast<uint16_t>(random() % spread);
    for (uint8_t& g : grid) g = static_cast<uint8_t>(random());
  }
};

constexpr uint32_t kStride = 20;

TEST(ScreenColorCorners, MatchesAPlainReferenceOnRandomRuns) {
  std::mt19937 random(3);
  for (auto [step, spread] : {std::pair{0, 70u}, {1, 70u}, {-1, 70u}, {0, 65536u}, {2, 200u}}) {
    const CornerJob j(random, spread);
    const PrintMode m = cornersMode(step);
    TestContext e(m, j.width, j.height, j.cells, j.level);
    e.load(kCurveOrGridBlock, j.grid);
    for (int trial = 0; trial < 400; ++trial) {
      const uint32_t count = trial < 8 ? trial : random() % 100;
      const uint32_t startX = random() % 300, line = random(), offset = random() % 8;
      std::vector<uint8_t> source(6 * (count / 2 + 1));
      for (uint8_t& s : source)
        s = static_cast<uint8_t>(random() % 2 ? 128 + random() % 2 : random());
      std::vector<uint8_t> out(4 * kStride);
      for (uint8_t& b : out) b = static_cast<uint8_t>(random());
      std::vector<uint8_t> expected = out;
      const Planes planes = referenceCorners(m, j.cells, j.width, j.height, j.level, j.grid,
                                             source.data(), startX, count, line);
      for (int k = 0; k < 4; ++k) {
        std::vector<uint8_t> plane(out.begin() + k * kStride, out.begin() + (k + 1) * kStride);
        plane = packByHand(plane, planes[k], offset, 1);
        std::copy(plane.begin(), plane.end(), expected.begin() + k * kStride);
      }
      ASSERT_EQ(e.run(screenColorCorners, source.data(), out.data(), count, startX, line, offset,
                      kStride, 99),
                kOk);
      EXPECT_EQ(out, expected) << "step " << step << " count " << count;
    }
  }
}

TEST(ScreenColorCorners, WhiteInThePairsLastPixelOwnRules) {
  std::vector<uint16_t> cells(16);
  for (uint32_t i = 0; i < 16; ++i) cells[i] = static_cast<uint16_t>(i);
  std::vector<uint16_t> level(256);
  for (uint32_t i = 0; i < 256; ++i) level[i] = static_cast<uint16_t>(i);
  TestContext e(cornersMode(), 16, 1, cells, level);  // N = 15
  std::vector<uint8_t> grid(32, 0);
  for (int k = 0; k < 4; ++k) grid[4 * 7 + k] = 200;  // node 7: every ink far above N
  e.load(kCurveOrGridBlock, grid);
  const std::vector<uint8_t> white(15, 129);
  uint8_t out[4 * 2] = {};
  ASSERT_EQ(e.run(screenColorCorners, white.data(), out, 5, 0, 0, 0, 2), kOk);
  // Pixels 0 to 3 print nothing; pixel 4 prints ink 3 (cell 4 < 200) and
  // ink 1 (200 > 15 - 4), not inks 0 and 2 (each second to its partner).
  const uint8_t expected[8] = {0x00, 0, 0x08, 0, 0x00, 0, 0x08, 0};
  EXPECT_EQ(std::vector<uint8_t>(out, out + 8), std::vector<uint8_t>(expected, expected + 8));
}

TEST(ScreenColorCorners, ChannelValue128CountsAs0And129As1) {
  std::vector<uint16_t> level(256);
  for (uint32_t i = 0; i < 256; ++i) level[i] = static_cast<uint16_t>(i);
  TestContext e(cornersMode(), 1, 1, {0}, level);  // N = 0, m = 0
  std::vector<uint8_t> grid(32, 0);
  grid[4 * 0 + 3] = 1;  // corner 0 prints ink 3
  grid[4 * 4 + 1] = 1;  // corner 4 (first channel above 128) prints ink 1
  e.load(kCurveOrGridBlock, grid);
  const uint8_t source[] = {128, 0, 0, 129, 0, 0};
  uint8_t out[4] = {};
  ASSERT_EQ(e.run(screenColorCorners, source, out, 2, 0, 0, 0, 1), kOk);
  EXPECT_EQ(out[3], 0x80);  // pixel 0: corner 0
  EXPECT_EQ(out[1], 0x40);  // pixel 1: corner 4
}

TEST(ScreenColorCorners, InksThreeAndZeroBothPrintWhenTheirSumPassesN) {
  std::vector<uint16_t> cells(16);
  for (uint32_t i = 0; i < 16; ++i) cells[i] = static_cast<uint16_t>(i);
  std::vector<uint16_t> level(256);
  for (uint32_t i = 0; i < 256; ++i) level[i] = static_cast<uint16_t>(i);
  TestContext e(cornersMode(), 16, 1, cells, level);  // N = 15, a3 = a0 = 8
  std::vector<uint8_t> grid(32, 0);
  grid[3] = 8;
  grid[0] = 8;
  e.load(kCurveOrGridBlock, grid);
  const std::vector<uint8_t> black(48, 0);
  uint8_t out[4 * 2] = {};
  ASSERT_EQ(e.run(screenColorCorners, black.data(), out, 16, 0, 0, 0, 2), kOk);
  // Ink 3 on cells 0..7; ink 0 where 8 > 15 - m, cells 8..15 — and both on none
  // here, but every cell prints exactly one of them.
  EXPECT_EQ(out[6], 0xFF);
  EXPECT_EQ(out[7], 0x00);
  EXPECT_EQ(out[0], 0x00);
  EXPECT_EQ(out[1], 0xFF);
  grid[0] = 9;  // a0 = 9: cell 7 prints both
  e.load(kCurveOrGridBlock, grid);
  ASSERT_EQ(e.run(screenColorCorners, black.data(), out, 16, 0, 0, 0, 2), kOk);
  EXPECT_EQ(out[0], 0x01);
  EXPECT_EQ(out[6], 0xFF);
}

TEST(ScreenColorCorners, StepOneReadsOneSourcePixelPerPairOfPixels) {
  std::mt19937 random(5);
  const CornerJob j(random);
  const PrintMode m = cornersMode(1);
  TestContext e(m, j.width, j.height, j.cells, j.level);
  e.load(kCurveOrGridBlock, j.grid);
  const std::vector<uint8_t> two = {200, 0, 200, 0, 200, 0};  // exactly two source pixels
  const std::vector<uint8_t> doubled = {200, 0, 200, 200, 0, 200, 0, 200, 0, 0, 200, 0};
  uint8_t out[4] = {}, expected[4] = {};
  ASSERT_EQ(e.run(screenColorCorners, two.data(), out, 4, 3, 1, 0, 1), kOk);
  e.context.printMode.sourceStep = 0;
  ASSERT_EQ(e.run(screenColorCorners, doubled.data(), expected, 4, 3, 1, 0, 1), kOk);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), std::vector<uint8_t>(expected, expected + 4));
}

TEST(ScreenColorCorners, ChecksAndMissingGrid) {
  TestContext e(cornersMode(), 1, 1, {0}, std::vector<uint16_t>(256, 1));
  const uint8_t source[6] = {};
  uint8_t out[4] = {7, 7, 7, 7};
  EXPECT_EQ(e.run(screenColorCorners, source, out, 401, 0, 0, 0, 1), kRunOutsideLine);
  EXPECT_EQ(e.run(screenColorCorners, source, out, 2, 0, 0, 0, 1), kBadResource);  // no grid
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), std::vector<uint8_t>(4, 7));
}

}  // namespace
}  // namespace kestrl::halftone::testing
