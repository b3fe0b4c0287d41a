// The pack component reads back every block format it writes, dumps it as
// text and turns it into a JSON description that builds the same bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "pack/block_dump.h"
#include "pack/block_json.h"
#include "pack/colour_blocks.h"
#include "pack/halftone_blocks.h"

namespace kestrl::pack {
namespace {

std::vector<uint8_t> bytesOf(const std::string& text) {
  return {text.begin(), text.end()};
}

DirectoryText sampleDirectory() {
  DirectoryText d;
  d.title = "sample";
  d.entries = {{10, 100, "MODE3", "P1", 720, 720, "PLAIN", 0, 1},
               {11, 0, "MODE1", "P2", 1440, 720, "CORRECTED", -12, 2}};
  d.modeNames = {"MODE0", "MODE1", "MODE2", "MODE3"};
  d.selectBase = 10;
  d.selectNames = {"P1", "P2"};
  d.classNames = {"PLAIN", "C1", "C2", "C3", "CORRECTED"};
  return d;
}

ColourTable sampleColourTable() {
  ColourTable t = makeColourTable(3, 4, complementaryInks);
  t.tableFlag = 50;
  t.lutKind = 3;
  t.peakReduce = {1, 2, 3};
  t.hueShift = {-4, 5, -6};
  t.saturationShift = -7;
  t.pairReduce = {8, -9, 10};
  t.scaleParams = {250, 100, -100, 7, 8};
  t.headerParams = {-1, 2, -3, 4};
  t.extra = buildStageFourIdRecord({1, 1, 400});
  return t;
}

struct Sample {
  BlockKind kind;
  std::vector<uint8_t> bytes;
  std::string dumpMentions;  // a fragment the readable dump must show
};

std::vector<Sample> samples() {
  const std::array<uint16_t, 4> ids = {200, 310, 320, 330};
  std::vector<uint8_t> levels(32);
  for (int i = 0; i < 32; ++i) levels[i] = static_cast<uint8_t>(i == 31 ? 255 : i * 8);
  const ThresholdMatrix matrix =
      makeThresholdMatrix(4, 3, [](uint32_t x, uint32_t y) { return 100 * y + x; });
  std::array<DotShares, 256> rows{};
  for (int v = 0; v < 256; ++v)
    rows[v] = {static_cast<uint8_t>(v / 3), static_cast<uint8_t>(v / 4),
               static_cast<uint8_t>(v / 5)};
  return {
      {BlockKind::kResourceIdList, buildResourceIdList(ids), "[3] 330"},
      {BlockKind::kGridLevels, buildGridLevels(levels), "32 points"},
      {BlockKind::kThresholdMatrix, buildThresholdMatrix(matrix), "4 x 3 cells"},
      {BlockKind::kDotSizeTable, buildDotSizeTable(rows), "255:  85  63  51"},
      {BlockKind::kStageFourIdRecord, buildStageFourIdRecord({1, 1, 400}), "dot-size table id 400"},
      {BlockKind::kDirectory, bytesOf(buildDirectory(sampleDirectory())), "11=P2"},
      {BlockKind::kColourTable, buildColourTable(sampleColourTable()), "(255,0,0) -> 0 255 255 0"},
      {BlockKind::kCalibrationRecord, buildCalibrationRecord(7, {50, 52, 48, 50}), "key 7"},
      {BlockKind::kChannelMap, buildChannelMapResource({{0, {0, 1, 2, 3}}, {7, {3, 2, 1, 0}}}),
       "key 7: 3 2 1 0"},
      {BlockKind::kNominalValues, buildNominalValues({50, 51, 52, 53}), "50 51 52 53"},
      {BlockKind::kCorrectionTables,
       buildCorrectionTables([](int t, int x) { return static_cast<uint8_t>((x + t) & 255); }),
       "table 20: 0->20"},
  };
}

// Every kind has a sample; each passes the checks, dumps with its fields
// shown and is recognised from its id, text-ness and contents.
TEST(PackBlocks, SamplesPassDumpAndAreRecognised) {
  const std::vector<Sample> all = samples();
  for (BlockKind kind : kAllBlockKinds) {
    EXPECT_TRUE(std::ranges::any_of(all, [&](const Sample& s) { return s.kind == kind; }))
        << kindName(kind);
  }
  for (const Sample& s : all) {
    SCOPED_TRACE(kindName(s.kind));
    EXPECT_EQ(checkBlock(s.kind, s.bytes), "");
    EXPECT_NE(dumpBlock(s.kind, s.bytes).find(s.dumpMentions), std::string::npos)
        << dumpBlock(s.kind, s.bytes);
    const int32_t id = s.kind == BlockKind::kChannelMap      ? 980
                       : s.kind == BlockKind::kNominalValues ? 990
                                                             : -1;
    BlockKind kind{};
    ASSERT_TRUE(guessKind(s.bytes, id, s.kind == BlockKind::kDirectory, kind));
    EXPECT_EQ(kind, s.kind) << "guessed as " << kindName(kind);
  }
}

// A directory entry and the matrix side byte read back with the values they were built with (the
// colour table's fields go through the JSON round trip of the default pack).
TEST(PackBlocks, ParsedValuesMatchTheDescriptions) {
  const Parsed<DirectoryText> d = parseDirectory(bytesOf(buildDirectory(sampleDirectory())));
  ASSERT_TRUE(d.ok()) << d.error;
  ASSERT_EQ(d.value.entries.size(), 2u);
  EXPECT_EQ(d.value.entries[1].selectValue, -12);
  EXPECT_EQ(d.value.entries[1].className, "CORRECTED");
  EXPECT_EQ(d.value.selectBase, 10);

  const Parsed<ThresholdMatrix> m = parseThresholdMatrix(buildThresholdMatrix(
      makeThresholdMatrix(256, 2, [](uint32_t x, uint32_t y) { return x + 256 * y; })));
  ASSERT_TRUE(m.ok()) << m.error;
  EXPECT_EQ(m.value.width, 256u);  // the side byte 255 stands for 256
  EXPECT_EQ(m.value.cells[511], 511);
}

TEST(PackBlocks, JsonGenerators) {
  BlockKind kind{};
  const auto matrix = blockFromJson({{"kind", "threshold-matrix"},
                                     {"generate", "void-and-cluster"},
                                     {"width", 16},
                                     {"height", 16}},
                                    kind);
  const Parsed<ThresholdMatrix> m = parseThresholdMatrix(matrix);
  ASSERT_TRUE(m.ok()) << m.error;
  EXPECT_EQ(m.value.cells.size(), 256u);

  const auto table = blockFromJson({{"kind", "colour-table"},
                                    {"generate", "separation"},
                                    {"points", 5},
                                    {"dotSizeTableId", 401}},
                                   kind);
  const Parsed<ColourTable> t = parseColourTable(table);
  ASSERT_TRUE(t.ok()) << t.error;
  EXPECT_EQ(t.value.points(), 5u);
  EXPECT_EQ(parseStageFourIdRecord(t.value.extra).value.dotTableId, 401);
}

}  // namespace
}  // namespace kestrl::pack
