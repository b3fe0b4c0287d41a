// Loading the colour table block: header values, refusals, neutral-axis
// rules, ink-gain correction and allocation failures.
#include "colour/colour_table.h"

#include <gtest/gtest.h>

#include "colour/grid_lookup.h"
#include "colour_test_support.h"
#include "memory/fault_injection.h"

namespace kestrl::colour {

testing::LoadedTable::LoadedTable(std::vector<uint8_t> bytes, ColorSettings settings,
                                  PrintMode mode)
    : block(std::move(bytes)) {
  int32_t firstId = 0;
  EXPECT_EQ(CmNew(&settings, &mode, 0, &firstId, &context), kOk);
  context->entryId = 17;
  context->entryCode = 211;
  status = loadColourTable(*context, ByteReader(block.data(), block.size()));
  context->pixelStride = kPixelStride;
  for (int i = 0; i < 3; ++i) context->pixelOffset[i] = kPixelOffsets[i];
}

namespace {

using memory::testing::FaultPlan;
using memory::testing::Operation;
using memory::testing::ScopedFaultPlan;
using testing::Job;
using testing::LoadedTable;
using testing::scrambledTable;
using testing::standardDirectory;
using testing::standardMode;
using testing::standardSettings;

TEST(ColourTable, HeaderValuesAreReadWithTheirByteOrderAndSign) {
  pack::ColourTable t = scrambledTable(3);
  t.tableFlag = 77;
  t.lutKind = 2;
  t.peakReduce = {200, 1, 2};
  t.hueShift = {-3, 4, 5};
  t.saturationShift = -7;
  t.pairReduce = {-5, 6, 7};
  t.scaleParams = {-100, 300, 1, 2, -2};
  t.headerParams = {-1, 2, 258, -300};
  t.extra = {1, 0, 0, 0, 1, 0, 9, 0};
  ColorSettings settings = standardSettings();
  settings.greyStyle = 0;  // composite grey: the neutral axis stays as stored
  LoadedTable loaded(pack::buildColourTable(t), settings);
  ASSERT_EQ(loaded.status, kOk);
  ASSERT_EQ(loaded.block[48], 0xFF);
  ASSERT_EQ(loaded.block[49], 0x9C);
  const CmLut& lut = loaded.lut();
  const CmContext& c = *loaded.context;
  EXPECT_EQ(lut.lutKind, 1u) << "kind 2 is stored as 1";
  EXPECT_EQ(lut.scaleParams[0], -100);
  EXPECT_EQ(lut.scaleParams[1], 300);
  EXPECT_EQ(lut.scaleParams[4], -2);
  EXPECT_EQ(lut.headerParams[2], 258);
  EXPECT_EQ(lut.headerParams[3], -300);
  EXPECT_EQ(c.tableFlag, 77);
  EXPECT_EQ(c.peakReduce[0], 200) << "peak percentages are unsigned";
  EXPECT_EQ(c.hueShift[0], -3);
  EXPECT_EQ(c.saturationShift, -7);
  EXPECT_EQ(c.pairReduce[0], -5);
  EXPECT_EQ(lut.resourceId, 17u);
  EXPECT_EQ(lut.resourceCode, 211);
  EXPECT_EQ(lut.gridPoints[2], 3);
  EXPECT_EQ(lut.channelCount, 4u);
  EXPECT_EQ(lut.breakpoints[1][1], 128);
  ASSERT_NE(lut.extraData, nullptr);
  EXPECT_EQ(lut.extraData[6], 9);
  EXPECT_TRUE(std::equal(t.grid.begin(), t.grid.end(), lut.gridData))
      << "composite grey keeps the grid";
  EXPECT_EQ(lut.compositeGrey, 1u);
}

TEST(ColourTable, NoExtraSectionLeavesBothPointersNull) {
  LoadedTable loaded(pack::buildColourTable(scrambledTable(2)));
  ASSERT_EQ(loaded.status, kOk);
  EXPECT_EQ(loaded.lut().extraData, nullptr);
  EXPECT_EQ(loaded.lut().extraBlock, nullptr);
}

struct RefusalCase {
  const char* name;
  size_t offset;  // byte to overwrite, or SIZE_MAX for none
  uint8_t value;
  size_t shorten;  // bytes cut from the end
};

class Refusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusal, BreakingAnInvariantChangesNothing) {
  pack::ColourTable t = scrambledTable(4);  // levels 0, 85, 170, 255
  t.extra = {1, 2, 3};
  std::vector<uint8_t> block = pack::buildColourTable(t);
  const RefusalCase& c = GetParam();
  if (c.offset != SIZE_MAX) block[c.offset] = c.value;
  block.resize(block.size() - c.shorten);
  LoadedTable loaded(block);
  EXPECT_EQ(loaded.status, kBadResource);
  EXPECT_EQ(loaded.lut().gridData, nullptr);
  EXPECT_EQ(loaded.lut().extraData, nullptr);
  EXPECT_EQ(loaded.lut().resourceId, 0u);
  EXPECT_EQ(loaded.lut().channelCount, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    ColourTable, Refusal,
    ::testing::Values(RefusalCase{"unequal_points", 73, 3, 0}, RefusalCase{"one_point", 72, 1, 0},
                      RefusalCase{"sixty_nine_points", 72, 69, 0},
                      RefusalCase{"no_channels", 75, 0, 0}, RefusalCase{"row_not_from_0", 76, 1, 0},
                      RefusalCase{"row_not_to_255", 76 + 4 + 3, 254, 0},
                      RefusalCase{"row_not_rising", 76 + 8 + 2, 85, 0},
                      RefusalCase{"extra_past_the_end", SIZE_MAX, 0, 1},
                      RefusalCase{"grid_cut_short", 20, 0, 3 + 4 + 16 + 1},
                      RefusalCase{"header_only", SIZE_MAX, 0, 3 + 4 + 16 + 64 * 4 + 12}),
    [](const auto& info) { return info.param.name; });

TEST(ColourTable, MissingGreyLevelsAreRefusedOnlyWhenRead) {
  pack::ColourTable t = scrambledTable(3);
  t.greyLevels.clear();
  t.compositeGreyNodes.clear();
  t.lutKind = 0;
  EXPECT_EQ(LoadedTable(pack::buildColourTable(t)).status, kOk);
  t.lutKind = 1;
  EXPECT_EQ(LoadedTable(pack::buildColourTable(t)).status, kBadResource);
}

struct InkGainCase {
  int32_t p0, p1;
  uint8_t x, expected;
};

class InkGain : public ::testing::TestWithParam<InkGainCase> {};

TEST_P(InkGain, FollowsTheParabolicDivisor) {
  const InkGainCase& c = GetParam();
  EXPECT_EQ(inkGainCorrect(c.x, c.p0, c.p1), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    ColourTable, InkGain,
    ::testing::Values(InkGainCase{100, 100, 0, 0}, InkGainCase{100, 100, 77, 77},
                      InkGainCase{100, 100, 255, 255},
                      // t = 9487, d = 349, x' = 94.
                      InkGainCase{250, 100, 128, 94}, InkGainCase{250, 100, 254, 254},
                      InkGainCase{250, 100, 255, 255},
                      // t = 593, d = 260, x' = 51130 / 260 = 196.
                      InkGainCase{150, 100, 200, 196},
                      // Divisor 0 (t = 0, d = 0) or negative: the byte stays.
                      InkGainCase{0, 0, 90, 90}, InkGainCase{-100, -100, 90, 90}));

// Neutral-axis rules on a 3-point table whose grey levels are 11, 22, 33.
struct AxisCase {
  const char* name;
  uint8_t kind;
  uint32_t mode;
  uint32_t colorInput;
  int32_t greyStyle;
  std::array<uint8_t, 4> middleNode;  // node (1, 1, 1) after loading
};

class NeutralAxis : public ::testing::TestWithParam<AxisCase> {};

TEST_P(NeutralAxis, Rules) {
  const AxisCase& c = GetParam();
  pack::ColourTable t = scrambledTable(3);
  t.lutKind = c.kind;
  t.greyLevels = {11, 22, 33};
  t.scaleParams = {250, 100, 0, 0, 0};
  ColorSettings settings = standardSettings();
  settings.greyStyle = c.greyStyle;
  PrintMode mode = standardMode();
  mode.mode = c.mode;
  mode.colorInput = c.colorInput;
  LoadedTable loaded(pack::buildColourTable(t), settings, mode);
  ASSERT_EQ(loaded.status, kOk);
  const uint8_t* middle = loaded.lut().gridData + 13 * 4;
  EXPECT_EQ(std::vector<uint8_t>(middle, middle + 4),
            std::vector<uint8_t>(c.middleNode.begin(), c.middleNode.end()));
  // Off-axis nodes are never touched.
  EXPECT_TRUE(std::equal(t.grid.begin() + 4, t.grid.begin() + 13 * 4, loaded.lut().gridData + 4));
}

// The unmodified node (1, 1, 1) of scrambledTable(3), levels 128.
constexpr uint8_t kMid0 = static_cast<uint8_t>(128 * 11);
constexpr uint8_t kMid1 = static_cast<uint8_t>(128 ^ (128 * 5) ^ 128);
constexpr uint8_t kMid2 = static_cast<uint8_t>(255 - 128 + 128 / 3);

INSTANTIATE_TEST_SUITE_P(
    ColourTable, NeutralAxis,
    ::testing::Values(
        AxisCase{"kind1_mode2_grey_everywhere", 1, 2, 1, 50, {22, 22, 22, 22}},
        AxisCase{"kind1_mode3_last_channel_only", 1, 3, 1, 50, {0, 0, 0, 22}},
        // Ink gain with P0 = 250, P1 = 100: 22 -> 255 x 22 / d, d = (t + 25500) / 100,
        // t = (233^2 x 150 + 1) / 255 = 31934, d = 574, x' = (5610 + 287) / 574 = 10.
        AxisCase{"kind3_colour_input_ink_gain", 3, 3, 1, 50, {0, 0, 0, 10}},
        AxisCase{"kind3_grey_input_no_ink_gain", 3, 3, 0, 50, {0, 0, 0, 22}},
        AxisCase{"kind0_untouched", 0, 3, 1, 50, {kMid0, kMid1, kMid2, 128}},
        AxisCase{"composite_grey_untouched", 1, 3, 1, 0, {kMid0, kMid1, kMid2, 128}}),
    [](const auto& info) { return info.param.name; });

TEST(ColourTable, GreyAxisReplacementNeedsClassFlagAndCompositeGrey) {
  pack::ColourTable t = scrambledTable(3);
  t.compositeGreyNodes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  ColorSettings settings = standardSettings();
  settings.colorClass = kColorClassCorrected;
  settings.greyStyle = 0;  // composite grey
  for (uint8_t flag : {uint8_t{50}, uint8_t{49}}) {
    t.tableFlag = flag;
    LoadedTable loaded(pack::buildColourTable(t), settings);
    ASSERT_EQ(loaded.status, kOk);
    const uint8_t* middle = loaded.lut().gridData + 13 * 4;
    if (flag == 50) {
      EXPECT_EQ(std::vector<uint8_t>(middle, middle + 4), (std::vector<uint8_t>{5, 6, 7, 8}));
      EXPECT_EQ(loaded.lut().gridData[26 * 4 + 3], 12);
    } else {
      EXPECT_EQ(middle[3], 128);
    }
  }
}

// Stage 2 corrects the whole grid for codes 300 to 399 in mode 3 with a
// colour method below 2; the adjustments are neutral, so the grid is the
// loaded one, corrected or not.
struct WholeGridCase {
  int32_t code;
  uint32_t colorMethod;
  bool corrected;
};

class WholeGridInkGain : public ::testing::TestWithParam<WholeGridCase> {};

TEST_P(WholeGridInkGain, DependsOnCodeAndMethod) {
  const WholeGridCase& c = GetParam();
  pack::ColourTable t = scrambledTable(3);
  t.scaleParams = {250, 100, 0, 0, 0};
  PrintMode mode = standardMode();
  mode.colorMethod = c.colorMethod;
  Job job;
  ASSERT_EQ(job.start(standardSettings(), mode, pack::buildDirectory(standardDirectory(17, c.code)),
                      pack::buildColourTable(t)),
            kOk);
  std::vector<uint8_t> expected = t.grid;
  if (c.corrected) {
    for (uint8_t& b : expected) b = inkGainCorrect(b, 250, 100);
  }
  EXPECT_EQ(job.grid(), expected);
}

INSTANTIATE_TEST_SUITE_P(ColourTable, WholeGridInkGain,
                         ::testing::Values(WholeGridCase{299, 0, false},
                                           WholeGridCase{300, 0, true}, WholeGridCase{399, 1, true},
                                           WholeGridCase{400, 0, false},
                                           WholeGridCase{311, 2, false}));

TEST(ColourTable, AllocationFailuresReleaseWhatWasTaken) {
  pack::ColourTable t = scrambledTable(3);
  t.extra = {1, 2, 3, 4};
  const std::vector<uint8_t> block = pack::buildColourTable(t);
  // After CmNew's two allocations: the extra section, then the grid.
  struct Case {
    Operation op;
    uint32_t call;
    Status expected;
    bool extraKept;
  };
  for (const Case& c : {Case{Operation::kAllocate, 3, kAllocFailed, false},
                        Case{Operation::kLock, 3, kLockFailed, false},
                        Case{Operation::kAllocate, 4, kAllocFailed, true},
                        Case{Operation::kLock, 4, kLockFailed, true}}) {
    FaultPlan plan;
    {
      ScopedFaultPlan scope(plan);
      CmContext* context = nullptr;
      int32_t firstId = 0;
      const ColorSettings settings = standardSettings();
      const PrintMode mode = standardMode();
      ASSERT_EQ(CmNew(&settings, &mode, 0, &firstId, &context), kOk);
      plan.failOn(c.op, c.call);
      EXPECT_EQ(loadColourTable(*context, ByteReader(block.data(), block.size())), c.expected);
      EXPECT_EQ(context->lut->gridData, nullptr);
      EXPECT_EQ(context->lut->extraData != nullptr, c.extraKept);
      CmDelete(context);
    }
    EXPECT_EQ(plan.liveAllocations, 0);
  }
}

}  // namespace
}  // namespace kestrl::colour
