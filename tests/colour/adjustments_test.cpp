// Tone curves, gamma, saturation, the class corrections and the rebuild of
// the grid at stage 2.
#include "colour/adjustments.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "colour/prime_logs.h"
#include "colour_test_support.h"

namespace kestrl::colour {
namespace {

using namespace testing;
using Triple = std::array<int32_t, 3>;

TEST(Gamma, WorkedValuesAndThePowerCurveRoundedOrOneAbove) {
  for (const Triple& c : {Triple{128, 150, 91}, Triple{192, 150, 167}, Triple{64, 200, 16},
                          Triple{128, 300, 32}, Triple{0, 220, 0}, Triple{255, 120, 255}}) {
    EXPECT_EQ(gammaLevel(c[0], c[1]), c[2]) << c[0] << " " << c[1];
  }
  for (int32_t g = 100; g <= 300; ++g) {
    for (int32_t v = 0; v <= 255; ++v) {
      const double exact = 255.0 * std::pow(v / 255.0, g / 100.0);
      const int32_t diff = gammaLevel(v, g) - static_cast<int32_t>(std::lround(exact));
      ASSERT_TRUE(diff == 0 || (diff == 1 && g != 100)) << "v=" << v << " g=" << g;
    }
  }
}

TEST(Curve, Points) {
  struct Case {
    int32_t brightness, contrast, v, expected;
  };
  const Case cases[] = {{50, 0, 63, 126},
                        {50, 0, 64, 129},  // brightness 50: q 200, knee 64, A 118
                        {-50, 0, 191, 125},
                        {-50, 0, 192, 128},  // brightness -50: q 200, knee 192
                        {0, -50, 0, 64},
                        {0, -50, 255, 191},  // low contrast
                        // Contrast 50: q 200, t1 96, A1 474, t2 160, A2 474.
                        {0, 50, 50, 9},
                        {0, 50, 100, 72},
                        {0, 50, 200, 244},
                        {0, 50, 255, 255},
                        // Brightness 50 lifts 95 to 181; 181^3 x 474 wraps in 32 bits to a
                        // negative product, so the toe formula gives -226, clamped to 0.
                        {50, 50, 95, 0}};
  for (const Case& c : cases) {
    int32_t curve[256];
    brightnessContrastCurve(c.brightness, c.contrast, curve);
    EXPECT_EQ(curve[c.v], c.expected) << c.brightness << " " << c.contrast << " " << c.v;
  }
}

TEST(Saturation, MovesAwayFromTheSmallestComponent) {
  struct Case {
    Triple in;
    int32_t amount;
    Triple expected;
  };
  const Case cases[] = {{{100, 200, 50}, 50, {120, 255, 50}},  // third smallest: four fifths
                        {{50, 100, 200}, 50, {50, 125, 255}}, {{100, 50, 200}, -50, {75, 50, 125}},
                        {{60, 60, 200}, 50, {60, 60, 255}},  // equal first two: the first counts
                        {{80, 80, 80}, 50, {80, 80, 80}},     {{1, 2, 3}, 0, {1, 2, 3}}};
  for (const Case& c : cases) {
    Triple p = c.in;
    saturate(c.amount, p.data());
    EXPECT_EQ(p, c.expected) << c.in[0] << " " << c.in[1] << " " << c.in[2];
  }
}

TEST(Correction, OnComplementaryValues) {
  struct Case {
    void (*apply)(const int16_t[3], int32_t[3]);
    std::array<int16_t, 3> percent;
    Triple in, expected;
  };
  const Case cases[] = {
      {reducePeak, {50, 0, 0}, {200, 100, 50}, {150, 100, 50}},
      {reducePeak, {0, 0, 20}, {10, 60, 110}, {10, 60, 100}},
      {reducePeak, {50, 50, 50}, {200, 200, 50}, {200, 200, 50}},  // a tie blocks
      {reducePeak, {255, 0, 0}, {200, 100, 50}, {0, 100, 50}},
      {reducePair, {50, 0, 0}, {50, 100, 150}, {50, 75, 125}},
      {reducePair, {-50, 0, 0}, {50, 100, 150}, {50, 125, 175}},
      {reducePair, {50, 50, 50}, {50, 50, 100}, {50, 50, 100}},  // a tie blocks
      {reducePair, {0, 127, 0}, {100, 0, 5}, {94, 0, 0}},
      {reducePair, {0, 50, 0}, {100, 50, 50}, {100, 50, 50}},  // a tie of the two smallest
      {shiftHue, {30, 0, 0}, {50, 100, 150}, {50, 85, 150}},
      {shiftHue, {15, 0, 0}, {50, 100, 150}, {50, 92, 150}},  // 7.5 rounds up
      {shiftHue, {0, -30, 0}, {100, 50, 150}, {85, 50, 150}},
      {shiftHue, {0, 0, 10}, {100, 150, 20}, {92, 150, 20}},
      {shiftHue, {0, 0, 0}, {0, 300, 5}, {0, 255, 5}},
      {shiftHue, {90, 90, 90}, {5, 5, 100}, {5, 5, 100}}};  // a tie blocks
  for (size_t i = 0; i < std::size(cases); ++i) {
    Triple v = cases[i].in;
    cases[i].apply(cases[i].percent.data(), v.data());
    EXPECT_EQ(v, cases[i].expected) << "case " << i;
  }
}

// Stage 2 with a scrambled table of kind 0 (no neutral-axis rules).
std::vector<uint8_t> loadedGrid() {
  return scrambledTable(4).grid;
}

std::vector<uint8_t> gridAfterStage2(const ColorSettings& settings,
                                     const pack::ColourTable& table = scrambledTable(4),
                                     const std::string& className = "photo") {
  pack::DirectoryText d = standardDirectory();
  d.entries[0].className = className;
  Job job;
  EXPECT_EQ(job.start(settings, table, d), kOk);
  return job.grid();
}

TEST(AdjustGrid, NeutralSettingsAndTag257LeaveTheGridUnchanged) {
  EXPECT_EQ(gridAfterStage2(standardSettings()), loadedGrid());
  EXPECT_EQ(gridAfterStage2(standardSettings(), scrambledTable(7)), scrambledTable(7).grid);
  std::vector<uint8_t> junk(1024, 0xA5);
  EXPECT_EQ(gridAfterStage2(TagList(257, junk.data()).settings()), loadedGrid());
}

// A failing pass is not reported and leaves the grid as loaded.
TEST(AdjustGrid, FailingPassKeepsTheLoadedGrid) {
  struct Case {
    int32_t adjustMode, brightness, saturation, gamma;
    bool changes;
  };
  const Case cases[] = {
      {0, 20, 0, 150, true},    {0, 0, 0, 0, false},  // gamma tag 0 means 150
      {0, 0, 0, 300, true},     {0, 20, 0, 301, false},
      {0, 20, 0, 99, false},    {0, 51, 0, 150, false},
      {0, 20, -51, 150, false}, {1, 20, 0, 150, false}};  // adjust mode 1 without curves
  for (const Case& c : cases) {
    const TagList tags(kGammaTag, &c.gamma);
    ColorSettings settings = tags.settings();
    settings.adjustMode = c.adjustMode;
    settings.brightness = c.brightness;
    settings.saturation = c.saturation;
    EXPECT_EQ(gridAfterStage2(settings) != loadedGrid(), c.changes)
        << c.adjustMode << " " << c.brightness << " " << c.saturation << " " << c.gamma;
  }
}

TEST(AdjustGrid, SaturationShiftOfTheCorrectedClassIsCappedAt50) {
  ColorSettings settings = standardSettings();
  settings.colorClass = kColorClassCorrected;
  pack::ColourTable shifted = scrambledTable(4);
  shifted.saturationShift = 20;
  settings.saturation = 40;
  const std::vector<uint8_t> capped = gridAfterStage2(settings, shifted, "corrected");
  EXPECT_NE(capped, gridAfterStage2(settings, scrambledTable(4), "corrected"));
  settings.saturation = 50;
  EXPECT_EQ(capped, gridAfterStage2(settings, scrambledTable(4), "corrected"));
  // -50 shifted by -1 leaves the range: the pass fails.
  shifted.saturationShift = -1;
  settings.saturation = -50;
  EXPECT_EQ(gridAfterStage2(settings, shifted, "corrected"), loadedGrid());
}

TEST(AdjustGrid, CallerCurvesAreUsedAndTheExtremeNodesKeepTheirColour) {
  // Inverting curves on even levels 0, 85, 170, 255 turn node (i, j, k)
  // into the loaded node (3 - i, 3 - j, 3 - k), except the darkest and the
  // lightest node, which are not adjusted.
  uint8_t curves[3 * 256];
  for (int i = 0; i < 3 * 256; ++i) curves[i] = static_cast<uint8_t>(255 - i % 256);
  const TagList tags(kCurvesTag, curves);
  ColorSettings settings = tags.settings();
  settings.adjustMode = 1;
  settings.brightness = 99;  // not checked when the caller gives the curves
  const std::vector<uint8_t> loaded = loadedGrid();
  const std::vector<uint8_t> grid = gridAfterStage2(settings);
  for (uint32_t node = 0; node < 64; ++node) {
    const uint32_t source = (node == 0 || node == 63) ? node : 63 - node;
    ASSERT_EQ(bytes(&grid[node * 4], 4), bytes(&loaded[source * 4], 4)) << node;
  }
}

}  // namespace
}  // namespace kestrl::colour
