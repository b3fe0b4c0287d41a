// Loading the colour table block: header values, refusals, neutral-axis
// rules, ink-gain correction and allocation failures.
#include "colour/colour_table.h"

#include <gtest/gtest.h>

#include "colour_test_support.h"

namespace kestrl::colour {
namespace {

using namespace testing;

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
  const std::vector<uint8_t> block = pack::buildColourTable(t);
  ASSERT_EQ(bytes(&block[48], 2), (std::vector<uint8_t>{0xFF, 0x9C}));
  Job loaded;
  ASSERT_EQ(loaded.load(block, settings), kOk);
  const CmLut& lut = loaded.lut();
  const CmContext& c = *loaded.context;
  EXPECT_EQ(lut.lutKind, 1u) << "kind 2 is stored as 1";
  EXPECT_EQ((std::array{lut.scaleParams[0], lut.scaleParams[1], lut.scaleParams[4]}),
            (std::array{-100, 300, -2}));
  EXPECT_EQ((std::array{lut.headerParams[2], lut.headerParams[3]}), (std::array{258, -300}));
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
  EXPECT_EQ(bytes(lut.gridData, t.grid.size()), t.grid) << "composite grey keeps the grid";
  EXPECT_EQ(lut.compositeGrey, 1u);

  Job plain;
  ASSERT_EQ(plain.load(pack::buildColourTable(scrambledTable(2))), kOk);
  EXPECT_EQ(plain.lut().extraData, nullptr) << "no extra section";
  EXPECT_EQ(plain.lut().extraBlock, nullptr);
}

TEST(ColourTable, BreakingAnInvariantIsRefusedAndChangesNothing) {
  struct Case {
    size_t offset;  // byte to overwrite
    uint8_t value;
    size_t shorten;  // bytes cut from the end
  };
  // Points at 72..74, channels at 75, level rows from 76 (0, 85, 170, 255).
  const Case cases[] = {{73, 3, 0},
                        {72, 1, 0},
                        {72, 69, 0},  // unequal, 1, 69 points
                        {75, 0, 0},   // no channels
                        {76, 1, 0},
                        {76 + 4 + 3, 254, 0},
                        {76 + 8 + 2, 85, 0},       // bad rows
                        {20, 0, 3 + 4 + 16 + 1}};  // grid cut short
  pack::ColourTable t = scrambledTable(4);
  t.extra = {1, 2, 3};
  for (const Case& c : cases) {
    std::vector<uint8_t> block = pack::buildColourTable(t);
    block[c.offset] = c.value;
    block.resize(block.size() - c.shorten);
    Job loaded;
    EXPECT_EQ(loaded.load(block), kBadResource) << c.offset << " " << c.shorten;
    EXPECT_EQ(loaded.lut().gridData, nullptr);
    EXPECT_EQ(loaded.lut().extraData, nullptr);
    EXPECT_EQ(loaded.lut().resourceId, 0u);
    EXPECT_EQ(loaded.lut().channelCount, 0u);
  }
}

TEST(ColourTable, MissingGreyLevelsAreRefusedOnlyWhenRead) {
  pack::ColourTable t = scrambledTable(3);
  t.greyLevels.clear();
  t.compositeGreyNodes.clear();
  t.lutKind = 0;
  EXPECT_EQ(Job().load(pack::buildColourTable(t)), kOk);
  t.lutKind = 1;
  EXPECT_EQ(Job().load(pack::buildColourTable(t)), kBadResource);
}

TEST(InkGain, FollowsTheParabolicDivisor) {
  struct Case {
    int32_t p0, p1;
    uint8_t x, expected;
  };
  const Case cases[] = {{100, 100, 0, 0},
                        {100, 100, 77, 77},
                        {100, 100, 255, 255},
                        {250, 100, 128, 94},  // t = 9487, d = 349, x' = 94
                        {250, 100, 254, 254},
                        {250, 100, 255, 255},
                        {150, 100, 200, 196},  // t = 593, d = 260, x' = 51130 / 260
                        // Divisor 0 (t = 0, d = 0) or negative: the byte stays.
                        {0, 0, 90, 90},
                        {-100, -100, 90, 90}};
  for (const Case& c : cases) {
    EXPECT_EQ(inkGainCorrect(c.x, c.p0, c.p1), c.expected) << c.p0 << " " << c.p1 << " " << +c.x;
  }
}

// Neutral-axis rules on a 3-point table whose grey levels are 11, 22, 33.
TEST(ColourTable, NeutralAxisRules) {
  struct Case {
    uint8_t kind;
    uint32_t mode, colorInput;
    int32_t greyStyle;
    std::vector<uint8_t> middleNode;  // node (1, 1, 1) after loading
    int32_t classOverride = 0;
  };
  // The unmodified node (1, 1, 1) of scrambledTable(3), levels 128.
  const std::vector<uint8_t> stored = {static_cast<uint8_t>(128 * 11),
                                       static_cast<uint8_t>(128 ^ (128 * 5) ^ 128),
                                       static_cast<uint8_t>(255 - 128 + 128 / 3), 128};
  const Case cases[] = {
      {1, 2, 1, 50, {22, 22, 22, 22}},  // mode 2: grey in every channel
      {1, 3, 1, 50, {0, 0, 0, 22}},     // mode 3: the last channel only
      // Ink gain with P0 = 250, P1 = 100: 22 -> 255 x 22 / d, d = (t + 25500) / 100,
      // t = (233^2 x 150 + 1) / 255 = 31934, d = 574, x' = (5610 + 287) / 574 = 10.
      {3, 3, 1, 50, {0, 0, 0, 10}},
      {3, 3, 0, 50, {0, 0, 0, 22}},  // grey input: no ink gain
      {0, 3, 1, 50, stored},         // kind 0 untouched
      {1, 3, 1, 0, stored},          // composite grey untouched
      {1, 3, 1, 50, stored, 1}};     // class override 1 asks for composite grey
  for (const Case& c : cases) {
    pack::ColourTable t = scrambledTable(3);
    t.lutKind = c.kind;
    t.greyLevels = {11, 22, 33};
    t.scaleParams = {250, 100, 0, 0, 0};
    ColorSettings settings = standardSettings();
    settings.greyStyle = c.greyStyle;
    settings.classOverride = c.classOverride;
    PrintMode mode = standardMode();
    mode.mode = c.mode;
    mode.colorInput = c.colorInput;
    Job loaded;
    ASSERT_EQ(loaded.load(pack::buildColourTable(t), settings, mode), kOk);
    EXPECT_EQ(bytes(loaded.lut().gridData + 13 * 4, 4), c.middleNode)
        << +c.kind << " " << c.mode << " " << c.colorInput << " " << c.greyStyle;
    // Off-axis nodes are never touched.
    EXPECT_EQ(bytes(loaded.lut().gridData + 4, 12 * 4), bytes(t.grid.data() + 4, 12 * 4));
  }
}

TEST(ColourTable, GreyAxisReplacementNeedsClassFlagAndCompositeGrey) {
  pack::ColourTable t = scrambledTable(3);
  t.compositeGreyNodes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  ColorSettings settings = standardSettings();
  settings.colorClass = kColorClassCorrected;
  settings.greyStyle = 0;  // composite grey
  t.tableFlag = 50;
  Job replaced;
  ASSERT_EQ(replaced.load(pack::buildColourTable(t), settings), kOk);
  EXPECT_EQ(bytes(replaced.lut().gridData + 13 * 4, 4), (std::vector<uint8_t>{5, 6, 7, 8}));
  EXPECT_EQ(replaced.lut().gridData[26 * 4 + 3], 12);
  t.tableFlag = 49;
  Job kept;
  ASSERT_EQ(kept.load(pack::buildColourTable(t), settings), kOk);
  EXPECT_EQ(kept.lut().gridData[13 * 4 + 3], 128);
}

// Stage 2 corrects the whole grid for codes 300 to 399 in mode 3 with a
// colour method below 2; the adjustments are neutral, so the grid is the
// loaded one, corrected or not.
TEST(ColourTable, WholeGridInkGainDependsOnCodeAndMethod) {
  struct Case {
    int32_t code;
    uint32_t colorMethod;
    bool corrected;
  };
  pack::ColourTable t = scrambledTable(3);
  t.scaleParams = {250, 100, 0, 0, 0};
  for (const Case& c : {Case{299, 0, false}, Case{300, 0, true}, Case{399, 1, true},
                        Case{400, 0, false}, Case{311, 2, false}}) {
    PrintMode mode = standardMode();
    mode.colorMethod = c.colorMethod;
    Job job;
    ASSERT_EQ(
        job.start(standardSettings(), mode, pack::buildDirectory(standardDirectory(17, c.code)),
                  pack::buildColourTable(t)),
        kOk);
    std::vector<uint8_t> expected = t.grid;
    for (uint8_t& b : expected) b = c.corrected ? inkGainCorrect(b, 250, 100) : b;
    EXPECT_EQ(job.grid(), expected) << c.code << " " << c.colorMethod;
  }
}

}  // namespace
}  // namespace kestrl::colour
