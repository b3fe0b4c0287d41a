// Tone curves, gamma, saturation, the class corrections and the rebuild of
// the grid at stage 2.
#include "colour/adjustments.h"

#include <gtest/gtest.h>

#include <cmath>

#include "colour/prime_logs.h"
#include "colour_test_support.h"
#include "memory/fault_injection.h"

namespace kestrl::colour {
namespace {

using memory::testing::FaultPlan;
using memory::testing::Operation;
using memory::testing::ScopedFaultPlan;
using testing::Job;
using testing::scrambledTable;
using testing::standardDirectory;
using testing::standardMode;
using testing::standardSettings;
using testing::TagList;

TEST(PrimeLogs, TableIsTheRoundedLogarithmOfEveryPrimeUpTo509) {
  std::vector<int32_t> primes;
  for (int32_t p = 2; p <= 509; ++p) {
    bool prime = true;
    for (int32_t d = 2; d * d <= p; ++d) prime = prime && p % d != 0;
    if (prime) primes.push_back(p);
  }
  ASSERT_EQ(std::size(kPrimeLogs), primes.size());
  for (size_t i = 0; i < primes.size(); ++i) {
    EXPECT_EQ(kPrimeLogs[i].prime, primes[i]);
    EXPECT_EQ(kPrimeLogs[i].log5000, std::lround(5000.0 * std::log(primes[i]))) << primes[i];
  }
  EXPECT_EQ(kLogTable[1], 0);
  EXPECT_EQ(kLogTable[255], 27706) << "3 x 5 x 17";
  EXPECT_EQ(kLogTable[128], 7 * 3466);
  EXPECT_EQ(kLogTable[509], 31162);
}

struct GammaCase {
  int32_t v, g, expected;
};

class Gamma : public ::testing::TestWithParam<GammaCase> {};

TEST_P(Gamma, WorkedValues) {
  EXPECT_EQ(gammaLevel(GetParam().v, GetParam().g), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Adjustments, Gamma,
                         ::testing::Values(GammaCase{128, 150, 91}, GammaCase{192, 150, 167},
                                           GammaCase{64, 200, 16}, GammaCase{128, 300, 32},
                                           GammaCase{0, 220, 0}, GammaCase{255, 120, 255}));

TEST(Gamma, IsThePowerCurveRoundedOrOneAbove) {
  for (int32_t g = 100; g <= 300; ++g) {
    for (int32_t v = 0; v <= 255; ++v) {
      const double exact = 255.0 * std::pow(v / 255.0, g / 100.0);
      const int32_t diff = gammaLevel(v, g) - static_cast<int32_t>(std::lround(exact));
      ASSERT_TRUE(diff == 0 || diff == 1) << "v=" << v << " g=" << g;
    }
    if (g == 100) {
      for (int32_t v = 0; v <= 255; ++v) ASSERT_EQ(gammaLevel(v, 100), v);
    }
  }
}

struct CurveCase {
  const char* name;
  int32_t brightness, contrast, v, expected;
};

class Curve : public ::testing::TestWithParam<CurveCase> {};

TEST_P(Curve, Points) {
  const CurveCase& c = GetParam();
  int32_t curve[256];
  brightnessContrastCurve(c.brightness, c.contrast, curve);
  EXPECT_EQ(curve[c.v], c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Adjustments, Curve,
    ::testing::Values(
        // Brightness 50: q 200, t 64, A 118.
        CurveCase{"bright_below_knee", 50, 0, 63, 126}, CurveCase{"bright_at_knee", 50, 0, 64, 129},
        // Brightness -50: q 200, t 192, A 118.
        CurveCase{"dark_below_knee", -50, 0, 191, 125}, CurveCase{"dark_at_knee", -50, 0, 192, 128},
        CurveCase{"low_contrast_black", 0, -50, 0, 64},
        CurveCase{"low_contrast_white", 0, -50, 255, 191},
        // Contrast 50: q 200, t1 96, A1 474, t2 160, A2 474.
        CurveCase{"contrast_toe", 0, 50, 50, 9}, CurveCase{"contrast_middle", 0, 50, 100, 72},
        CurveCase{"contrast_shoulder", 0, 50, 200, 244},
        CurveCase{"contrast_white", 0, 50, 255, 255},
        // Brightness 50 lifts 95 to 181; 181^3 x 474 wraps in 32 bits to a
        // negative product, so the toe formula gives -226, clamped to 0.
        CurveCase{"bright_and_contrast_wrap", 50, 50, 95, 0}),
    [](const auto& info) { return info.param.name; });

struct PixelCase {
  const char* name;
  std::array<int32_t, 3> in;
  int32_t amount;
  std::array<int32_t, 3> expected;
};

class Saturation : public ::testing::TestWithParam<PixelCase> {};

TEST_P(Saturation, MovesAwayFromTheSmallestComponent) {
  int32_t p[3] = {GetParam().in[0], GetParam().in[1], GetParam().in[2]};
  saturate(GetParam().amount, p);
  EXPECT_EQ((std::array<int32_t, 3>{p[0], p[1], p[2]}), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Adjustments, Saturation,
    ::testing::Values(PixelCase{"third_smallest_four_fifths", {100, 200, 50}, 50, {120, 255, 50}},
                      PixelCase{"first_smallest", {50, 100, 200}, 50, {50, 125, 255}},
                      PixelCase{"second_smallest_desaturate", {100, 50, 200}, -50, {75, 50, 125}},
                      PixelCase{"equal_first_two_first_counts", {60, 60, 200}, 50, {60, 60, 255}},
                      PixelCase{"grey_stays", {80, 80, 80}, 50, {80, 80, 80}},
                      PixelCase{"zero_amount_stays", {1, 2, 3}, 0, {1, 2, 3}}),
    [](const auto& info) { return info.param.name; });

struct CorrectionCase {
  const char* name;
  void (*apply)(const int16_t[3], int32_t[3]);
  std::array<int16_t, 3> percent;
  std::array<int32_t, 3> in;
  std::array<int32_t, 3> expected;
};

class Correction : public ::testing::TestWithParam<CorrectionCase> {};

TEST_P(Correction, OnComplementaryValues) {
  const CorrectionCase& c = GetParam();
  int32_t v[3] = {c.in[0], c.in[1], c.in[2]};
  c.apply(c.percent.data(), v);
  EXPECT_EQ((std::array<int32_t, 3>{v[0], v[1], v[2]}), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Adjustments, Correction,
    ::testing::Values(
        CorrectionCase{"peak_halved", reducePeak, {50, 0, 0}, {200, 100, 50}, {150, 100, 50}},
        CorrectionCase{"peak_third", reducePeak, {0, 0, 20}, {10, 60, 110}, {10, 60, 100}},
        CorrectionCase{"peak_tie_blocks", reducePeak, {50, 50, 50}, {200, 200, 50}, {200, 200, 50}},
        CorrectionCase{"peak_floor_0", reducePeak, {255, 0, 0}, {200, 100, 50}, {0, 100, 50}},
        CorrectionCase{
            "pair_first_smallest", reducePair, {50, 0, 0}, {50, 100, 150}, {50, 75, 125}},
        CorrectionCase{
            "pair_negative_raises", reducePair, {-50, 0, 0}, {50, 100, 150}, {50, 125, 175}},
        CorrectionCase{"pair_tie_blocks", reducePair, {50, 50, 50}, {50, 50, 100}, {50, 50, 100}},
        CorrectionCase{"pair_floor_0", reducePair, {0, 127, 0}, {100, 0, 5}, {94, 0, 0}},
        CorrectionCase{"hue_lowers_second", shiftHue, {30, 0, 0}, {50, 100, 150}, {50, 85, 150}},
        CorrectionCase{
            "hue_negative_lowers_first", shiftHue, {0, -30, 0}, {100, 50, 150}, {85, 50, 150}},
        CorrectionCase{"hue_third_smallest", shiftHue, {0, 0, 10}, {100, 150, 20}, {92, 150, 20}},
        CorrectionCase{"hue_clamps", shiftHue, {0, 0, 0}, {0, 300, 5}, {0, 255, 5}},
        CorrectionCase{"hue_tie_blocks", shiftHue, {90, 90, 90}, {5, 5, 100}, {5, 5, 100}}),
    [](const auto& info) { return info.param.name; });

// Stage 2 with a scrambled table of kind 0 (no neutral-axis rules).
std::vector<uint8_t> loadedGrid(uint32_t points = 4) {
  return scrambledTable(points).grid;
}

std::vector<uint8_t> gridAfterStage2(const ColorSettings& settings, pack::ColourTable table,
                                     const std::string& className = "photo") {
  pack::DirectoryText d = standardDirectory();
  d.entries[0].className = className;
  Job job;
  EXPECT_EQ(
      job.start(settings, standardMode(), pack::buildDirectory(d), pack::buildColourTable(table)),
      kOk);
  return job.grid();
}

TEST(AdjustGrid, NeutralSettingsLeaveTheGridUnchanged) {
  EXPECT_EQ(gridAfterStage2(standardSettings(), scrambledTable(4)), loadedGrid());
  EXPECT_EQ(gridAfterStage2(standardSettings(), scrambledTable(7)), loadedGrid(7));
}

TEST(AdjustGrid, Tag257HasNoEffect) {
  std::vector<uint8_t> junk(1024, 0xA5);
  TagList tags;
  tags.add(257, junk.data());
  ColorSettings settings = standardSettings();
  settings.tagList = tags.get();
  EXPECT_EQ(gridAfterStage2(settings, scrambledTable(4)), loadedGrid());
}

struct PassCase {
  const char* name;
  int32_t adjustMode, brightness, saturation, gamma;
  bool changes;
};

class PassOutcome : public ::testing::TestWithParam<PassCase> {};

// A failing pass is not reported and leaves the grid as loaded.
TEST_P(PassOutcome, FailureKeepsTheLoadedGrid) {
  const PassCase& c = GetParam();
  ColorSettings settings = standardSettings();
  settings.adjustMode = c.adjustMode;
  settings.brightness = c.brightness;
  settings.saturation = c.saturation;
  TagList tags;
  tags.add(kGammaTag, &c.gamma);
  settings.tagList = tags.get();
  const std::vector<uint8_t> grid = gridAfterStage2(settings, scrambledTable(4));
  EXPECT_EQ(grid != loadedGrid(), c.changes);
}

INSTANTIATE_TEST_SUITE_P(
    AdjustGrid, PassOutcome,
    ::testing::Values(PassCase{"brightness_applies", 0, 20, 0, 150, true},
                      PassCase{"gamma_tag_0_means_150", 0, 0, 0, 0, false},
                      PassCase{"gamma_300_applies", 0, 0, 0, 300, true},
                      PassCase{"gamma_301_fails", 0, 20, 0, 301, false},
                      PassCase{"gamma_99_fails", 0, 20, 0, 99, false},
                      PassCase{"brightness_51_fails", 0, 51, 0, 150, false},
                      PassCase{"saturation_minus_51_fails", 0, 20, -51, 150, false},
                      PassCase{"adjust_mode_without_curves_fails", 1, 20, 0, 150, false}),
    [](const auto& info) { return info.param.name; });

TEST(AdjustGrid, SaturationShiftOfTheCorrectedClassIsCappedAt50) {
  ColorSettings settings = standardSettings();
  settings.colorClass = kColorClassCorrected;
  pack::ColourTable shifted = scrambledTable(4);
  shifted.saturationShift = 20;
  settings.saturation = 40;
  const std::vector<uint8_t> capped = gridAfterStage2(settings, shifted, "corrected");
  settings.saturation = 50;
  EXPECT_EQ(capped, gridAfterStage2(settings, scrambledTable(4), "corrected"));
  settings.saturation = 40;
  EXPECT_NE(capped, gridAfterStage2(settings, scrambledTable(4), "corrected"));

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
  TagList tags;
  tags.add(kCurvesTag, curves);
  ColorSettings settings = standardSettings();
  settings.adjustMode = 1;
  settings.brightness = 99;  // not checked when the caller gives the curves
  settings.tagList = tags.get();
  const std::vector<uint8_t> loaded = loadedGrid();
  const std::vector<uint8_t> grid = gridAfterStage2(settings, scrambledTable(4));
  for (uint32_t node = 0; node < 64; ++node) {
    const uint32_t source = (node == 0 || node == 63) ? node : 63 - node;
    for (int ch = 0; ch < 4; ++ch) ASSERT_EQ(grid[node * 4 + ch], loaded[source * 4 + ch]) << node;
  }
}

TEST(AdjustGrid, OffsetsSpareOnlyTheDarkestAndLightestNode) {
  ColorSettings settings = standardSettings();
  settings.redOffset = 50;
  settings.blueOffset = -50;
  const std::vector<uint8_t> loaded = loadedGrid();
  const std::vector<uint8_t> grid = gridAfterStage2(settings, scrambledTable(4));
  auto node = [](const std::vector<uint8_t>& g, int n) {
    return std::vector<uint8_t>(g.begin() + n * 4, g.begin() + n * 4 + 4);
  };
  EXPECT_EQ(node(grid, 0), node(loaded, 0));
  EXPECT_EQ(node(grid, 63), node(loaded, 63));
  EXPECT_NE(node(grid, 1), node(loaded, 1));
  EXPECT_NE(node(grid, 62), node(loaded, 62));
}

TEST(AdjustGrid, AllocationFailuresKeepTheLoadedGridAndLeakNothing) {
  ColorSettings settings = standardSettings();
  settings.brightness = 20;
  const std::string directory = pack::buildDirectory(standardDirectory());
  const std::vector<uint8_t> block = pack::buildColourTable(scrambledTable(4));
  // CmNew 1-2, directory work area 3, grid 4, then the pass: new grid 5,
  // curves 6.
  for (uint32_t call : {5u, 6u}) {
    for (Operation op : {Operation::kAllocate, Operation::kLock}) {
      FaultPlan plan;
      {
        ScopedFaultPlan scope(plan);
        plan.failOn(op, call);
        Job job;
        EXPECT_EQ(job.start(settings, standardMode(), directory, block), kOk);
        EXPECT_EQ(job.grid(), loadedGrid());
      }
      EXPECT_EQ(plan.liveAllocations, 0);
    }
  }
}

}  // namespace
}  // namespace kestrl::colour
