// The pack refuses exactly the blocks the library refuses: each block is
// checked by the pack and, separately, given to the library in a whole job
// of the default pack (through the sized calls) in place of the resource of
// its kind.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kestrl30.h"
#include "pack/block_dump.h"
#include "pack/colour_blocks.h"
#include "pack/default_pack.h"
#include "pack/halftone_blocks.h"

namespace kestrl::pack {
namespace {

using Bytes = std::vector<uint8_t>;

const Pack& defaultPack() {
  static const Pack pack = makeDefaultPack();
  return pack;
}

const Bytes& resource(int32_t id) {
  return defaultPack().find(id)->bytes;
}

// Where a kind's block goes: the job, which side, and the call on that side.
struct Slot {
  PrintMode mode;
  bool halftone;
  int call;  // 1 for the first resource of the side
};

constexpr PrintMode kGrey = {1, 0, 0, 0, 720, 720, 1, 0, 0, 64, 0};
constexpr PrintMode kGreyTwoBit = {1, 0, 0, 0, 720, 720, 2, 0, 0, 64, 0};
constexpr PrintMode kColour = {1, 0, 4, 1, 720, 720, 1, 0, 0, 64, 0};

const std::pair<BlockKind, Slot> kSlots[] = {
    {BlockKind::kResourceIdList, {kGrey, true, 1}},
    {BlockKind::kGridLevels, {kColour, true, 2}},
    {BlockKind::kThresholdMatrix, {kGrey, true, 3}},
    {BlockKind::kDotSizeTable, {kGreyTwoBit, true, 4}},
    {BlockKind::kStageFourIdRecord,
     {kGreyTwoBit, true, 3}},  // in the colour table, read at stage 3
    {BlockKind::kColourTable, {kGrey, false, 2}},
    {BlockKind::kCalibrationRecord, {kGrey, false, 2}},  // taken or not when the table is loaded
    {BlockKind::kChannelMap, {kGrey, false, 3}},
    {BlockKind::kNominalValues, {kGrey, false, 4}},
    {BlockKind::kDirectory, {kGrey, false, 5}},  // the calibration directory: never unmatched
    {BlockKind::kCorrectionTables, {kGrey, false, 6}},
};

Slot slotOf(BlockKind kind) {
  return std::ranges::find(kSlots, kind, &std::pair<BlockKind, Slot>::first)->second;
}

// Feeds the side's resources from the default pack until it names none,
// `block` (when given) at call `call`, and returns the status of that call;
// `id` is left at the next id.
template <typename Context, typename Feed>
KestrlStatus feedSide(Context* context, int32_t& id, int call, const Bytes* block, Feed feed) {
  for (int n = 1; id != -1; ++n) {
    const Bytes& bytes = n == call && block != nullptr ? *block : resource(id);
    const uint8_t none = 0;
    const KestrlStatus status = feed(context, bytes.empty() ? &none : bytes.data(),
                                     static_cast<uint32_t>(bytes.size()), &id);
    if (n == call) return status;
    EXPECT_EQ(status, KESTRL_STATUS_OK) << "default resource at call " << n;
  }
  if (call > 0) ADD_FAILURE() << "the job ended before call " << call;
  return KESTRL_STATUS_OK;
}

bool libraryTakes(BlockKind kind, const Bytes& block) {
  const Slot slot = slotOf(kind);
  // The colour side's calibration runs when the tag list holds a record the
  // default tables (four channels) take.
  const Bytes record =
      kind == BlockKind::kCalibrationRecord ? block : buildCalibrationRecord(1, {50, 52, 48, 50});
  const CmSizedValue sized = {record.data(), static_cast<uint32_t>(record.size())};
  const CmTagList tags = {1, {{KESTRL_TAG_CALIBRATION | KESTRL_TAG_SIZED, &sized}}};
  ColorSettings settings{};
  if (!slot.halftone) settings.tagList = &tags;
  CmContext* cm = nullptr;
  int32_t id = 0;
  EXPECT_EQ(CmNew(&settings, &slot.mode, 0, &id, &cm), KESTRL_STATUS_OK);
  bool takes = true;
  if (kind == BlockKind::kCalibrationRecord) {
    // The table stage names the channel map next only for a record it takes.
    takes = feedSide(cm, id, 2, nullptr, CmSetResourceSized) == KESTRL_STATUS_OK &&
            id == layout::calibration_ids::kChannelMap;
  } else if (kind == BlockKind::kStageFourIdRecord) {
    ColourTable table = parseColourTable(resource(colourTableId(1, 2))).value;
    table.extra = block;
    const Bytes withRecord = buildColourTable(table);
    EXPECT_EQ(feedSide(cm, id, 2, &withRecord, CmSetResourceSized), KESTRL_STATUS_OK);
  } else {
    takes = feedSide(cm, id, slot.halftone ? 0 : slot.call, &block, CmSetResourceSized) ==
            KESTRL_STATUS_OK;
  }
  if (slot.halftone) {
    HalftoneContext* ht = nullptr;
    EXPECT_EQ(HalftoneNew(&slot.mode, CmGetLut(cm), 0, &id, &ht), KESTRL_STATUS_OK);
    const Bytes* halftoneBlock = kind == BlockKind::kStageFourIdRecord ? nullptr : &block;
    takes =
        feedSide(ht, id, slot.call, halftoneBlock, HalftoneSetResourceSized) == KESTRL_STATUS_OK;
    HalftoneDelete(ht);
  }
  CmDelete(cm);
  return takes;
}

Bytes bytesOf(const std::string& text) {
  return {text.begin(), text.end()};
}

Bytes withByte(Bytes bytes, size_t at, uint8_t value) {
  bytes.at(at) = value;
  return bytes;
}

Bytes resized(Bytes bytes, size_t size) {
  bytes.resize(size);
  return bytes;
}

std::string entries(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "910 0 MODE1 PLAIN 720 720 PLAIN 0 1\n";
  return text;
}

TEST(PackAndLibrary, RefuseExactlyTheSameBlocks) {
  const Bytes ids = resource(default_ids::kHalftoneIds);
  const Bytes levels = resource(default_ids::kGridLevels);
  const Bytes matrix = resource(default_ids::kSquareMatrix);
  const Bytes dots = resource(default_ids::kDotSizeTable);
  const Bytes table = resource(default_ids::kColourTable);
  const Bytes map = resource(default_ids::kChannelMap);
  Bytes sixteenIds;
  for (int i = 0; i < 16; ++i) sixteenIds.insert(sixteenIds.end(), {0x36, 0x01});
  sixteenIds.insert(sixteenIds.end(), {0xFF, 0xFF});
  const std::string head = "t\n//3\ncolumns\n";
  const std::string lists = "/\nMODE0 MODE1\nPLAIN\nPLAIN\n";
  Bytes twentyMapBytes = {1}, twentyOneMapBytes = {1};
  for (uint8_t c = 0; c < 20; ++c) twentyMapBytes.push_back(c % 4);
  twentyOneMapBytes.insert(twentyOneMapBytes.end(), twentyMapBytes.begin() + 1,
                           twentyMapBytes.end());
  twentyOneMapBytes.push_back(0);
  twentyMapBytes.insert(twentyMapBytes.end(), {0xFE, 0xFF});
  const struct {
    BlockKind kind;
    Bytes bytes;
    const char* what;
  } cases[] = {
      {BlockKind::kResourceIdList, ids, "the default list"},
      {BlockKind::kResourceIdList, {0x36, 0x01, 0x40, 0x01}, "no end marker"},
      {BlockKind::kResourceIdList, sixteenIds, "sixteen ids"},
      {BlockKind::kResourceIdList, {}, "empty"},
      {BlockKind::kGridLevels, levels, "the default levels"},
      {BlockKind::kGridLevels, resized(levels, 20), "levels cut short"},
      {BlockKind::kGridLevels, withByte(levels, 10, 0), "levels not rising"},
      {BlockKind::kGridLevels, withByte(levels, 0, 31), "a count of 31"},
      {BlockKind::kThresholdMatrix, matrix, "the default matrix"},
      {BlockKind::kThresholdMatrix, resized(matrix, matrix.size() - 2), "a cell missing"},
      {BlockKind::kThresholdMatrix, withByte(matrix, 0, 48), "width 48"},
      {BlockKind::kThresholdMatrix, withByte(withByte(matrix, 0, 255), 1, 255), "65536 cells"},
      {BlockKind::kThresholdMatrix, withByte(matrix, 1, 0), "height 0"},
      {BlockKind::kThresholdMatrix, withByte(matrix, 2, 1), "one-byte cells"},
      {BlockKind::kDotSizeTable, dots, "the default table"},
      {BlockKind::kDotSizeTable, resized(dots, 767), "767 bytes"},
      {BlockKind::kDotSizeTable, withByte(withByte(dots, 765, 200), 766, 200), "shares over 255"},
      {BlockKind::kStageFourIdRecord, buildStageFourIdRecord({1, 1, 400}), "the default record"},
      {BlockKind::kStageFourIdRecord, resized(buildStageFourIdRecord({1, 1, 400}), 7), "7 bytes"},
      {BlockKind::kStageFourIdRecord, buildStageFourIdRecord({1, 2, 400}), "version 2"},
      {BlockKind::kStageFourIdRecord, buildStageFourIdRecord({0, 1, 400}), "not present"},
      {BlockKind::kDirectory, resource(default_ids::kCalibrationDirectory), "the default"},
      {BlockKind::kDirectory, bytesOf("title\r\n//2 old\r\n"), "no //3 marker: no entries"},
      {BlockKind::kDirectory, bytesOf(head + "1 2 M N 7x0 720 C 0 1\n" + lists), "odd numbers"},
      {BlockKind::kDirectory, bytesOf(head + "1 2 M N 720\n" + lists), "short entry lines"},
      {BlockKind::kDirectory, bytesOf(head + entries(1) + "/\nA\n"), "one name list"},
      {BlockKind::kDirectory, bytesOf(head + entries(100) + lists), "100 entries"},
      {BlockKind::kDirectory, bytesOf(head + entries(101) + lists), "101 entries"},
      {BlockKind::kDirectory, bytesOf(head + "1 2 TWELVE_CHARS N 720 720 C 0 1\n" + lists),
       "a name of 12 characters"},
      {BlockKind::kDirectory, bytesOf(head + std::string(256, '1') + "\n" + lists), "a long line"},
      {BlockKind::kDirectory, bytesOf(head + "/\nA B C D E F G H I J K L M\nP\nC\n"),
       "13 mode names"},
      {BlockKind::kColourTable, table, "the default table"},
      {BlockKind::kColourTable, resized(table, 1000), "cut inside the grid"},
      {BlockKind::kColourTable, withByte(table, 73, 16), "unequal point counts"},
      {BlockKind::kColourTable, withByte(withByte(withByte(table, 72, 69), 73, 69), 74, 69),
       "69 points"},
      {BlockKind::kColourTable, withByte(table, 75, 0), "no channels"},
      {BlockKind::kColourTable, withByte(table, 77, 0), "levels not rising"},
      {BlockKind::kColourTable, withByte(withByte(table, 50, 0), 51, 0), "ink gain 0"},
      {BlockKind::kColourTable, withByte(table, 21, 1), "extra section past the end"},
      {BlockKind::kCalibrationRecord, buildCalibrationRecord(1, {50, 52, 48, 50}), "four values"},
      {BlockKind::kCalibrationRecord, {'C', 'X', ':', 1, 50, 50, 50, 50, 0xFE, 0xFF}, "'CX:'"},
      {BlockKind::kCalibrationRecord, {'C', 'W', ':', 1, 50, 50, 50, 50, 0xFE}, "no 0xFF"},
      {BlockKind::kCalibrationRecord, buildCalibrationRecord(1, {50, 29, 48, 50}), "value 29"},
      {BlockKind::kCalibrationRecord, buildCalibrationRecord(1, {50, 52, 48, 71}), "value 71"},
      {BlockKind::kChannelMap, map, "the default map"},
      {BlockKind::kChannelMap, twentyMapBytes, "a record of 20 map bytes"},
      {BlockKind::kChannelMap, twentyOneMapBytes, "21 map bytes end the walk"},
      {BlockKind::kChannelMap, {0, 1, 2}, "no 0xFE"},
      {BlockKind::kChannelMap, {0, 1, 0xFE}, "no 0xFF"},
      {BlockKind::kNominalValues, {50, 51, 52, 53}, "four values"},
      {BlockKind::kNominalValues, {}, "empty"},
      {BlockKind::kCorrectionTables, resource(default_ids::kCorrectionTables), "the default"},
      {BlockKind::kCorrectionTables, resized(resource(default_ids::kCorrectionTables), 5375),
       "one byte short"},
  };
  int refusals = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(kindName(c.kind)) + ": " + c.what);
    const std::string why = checkBlock(c.kind, c.bytes);
    EXPECT_EQ(why.empty(), libraryTakes(c.kind, c.bytes)) << "the pack says '" << why << "'";
    if (!why.empty()) {
      ++refusals;
      EXPECT_NE(dumpBlock(c.kind, c.bytes).find("cannot read block"), std::string::npos);
    }
  }
  EXPECT_GT(refusals, 20);  // most cases are refused, the rest taken: both kinds are tested
}

}  // namespace
}  // namespace kestrl::pack
