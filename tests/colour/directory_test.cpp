// Directory tokenising, limits and entry choice.
#include "colour/directory.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "colour_test_support.h"
#include "memory/fault_injection.h"

namespace kestrl::colour {
namespace {

using memory::testing::FaultPlan;
using memory::testing::Operation;
using memory::testing::ScopedFaultPlan;
using testing::Job;
using testing::standardDirectory;
using testing::standardMode;
using testing::standardSettings;

struct NumberCase {
  const char* text;
  int32_t expected;
};

class NumberField : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberField, ReadsDigitsAndAnyMinusSign) {
  const std::string text = GetParam().text;
  EXPECT_EQ(parseNumber(text.data(), static_cast<int>(text.size())), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Directory, NumberField,
                         ::testing::Values(NumberCase{"720", 720}, NumberCase{"-12", -12},
                                           NumberCase{"1-2", -12}, NumberCase{"12-", -12},
                                           NumberCase{"", 0}, NumberCase{"0", 0},
                                           // Non-digits count by their code minus '0': 'A' is 17.
                                           NumberCase{"1A", 27}, NumberCase{"--5", -5}));

std::unique_ptr<Directory> parse(const std::string& text, Status* status = nullptr) {
  auto directory = std::make_unique<Directory>();
  const Status result = parseDirectory(ByteReader(text.c_str()), *directory);
  if (status != nullptr) *status = result;
  return directory;
}

TEST(Directory, ParsesEntriesAndResolvesNameIndices) {
  const std::string text =
      "title\n//3 rest of line\nskipped line\n"
      "  17\t0 mode3 P1   720 360 photo -4 2 trailing fields\n"
      "/end\n"
      "none mode1 mode2 mode3\n"
      "10 P0 P1\n"
      "plain photo\n";
  Status status = kBadResource;
  auto d = parse(text, &status);
  ASSERT_EQ(status, kOk);
  ASSERT_EQ(d->entryCount, 1);
  const DirectoryEntry& e = d->entries[0];
  EXPECT_EQ(e.entryId, 17);
  EXPECT_EQ(e.entryCode, -1) << "a code of 0 is kept as -1";
  EXPECT_EQ(e.modeIndex, 3);
  EXPECT_EQ(e.nameIndex, 11) << "P1 is name 1 after base 10";
  EXPECT_EQ(e.classIndex, 1);
  EXPECT_EQ(e.xResolution, 720);
  EXPECT_EQ(e.yResolution, 360);
  EXPECT_EQ(e.selectValue, -4);
  EXPECT_EQ(e.bitsPerPixel, 2);
}

struct ListCase {
  const char* name;
  const char* selectLine;
  const char* entryName;
  int32_t expectedIndex;
};

class SecondList : public ::testing::TestWithParam<ListCase> {};

TEST_P(SecondList, BaseAndPositions) {
  const ListCase& c = GetParam();
  const std::string text =
      std::string("//3\nx\n1 5 m ") + c.entryName + " 1 1 k 0 1\n/\nm\n" + c.selectLine + "\nk\n";
  auto d = parse(text);
  ASSERT_EQ(d->entryCount, 1);
  EXPECT_EQ(d->entries[0].nameIndex, c.expectedIndex);
}

INSTANTIATE_TEST_SUITE_P(Directory, SecondList,
                         ::testing::Values(ListCase{"P1_first_has_base_0", "P1 P2", "P1", 0},
                                           ListCase{"base_10_then_P1_P2", "10 P1 P2", "P2", 11},
                                           ListCase{"negative_base", "-3 P1 P2", "P2", -2},
                                           ListCase{"unknown_name_is_0", "10 P1 P2", "P9", 0},
                                           ListCase{"repeated_name_last_position", "P1 P2 P1", "P1",
                                                    2},
                                           ListCase{"case_sensitive", "P1 p2", "P2", 0}),
                         [](const auto& info) { return info.param.name; });

TEST(Directory, MarkerMustBeDoubleSlashThree) {
  const std::string body = "\nx\n1 5 m n 1 1 k 0 1\n/\nm\nn\nk\n";
  EXPECT_EQ(parse("//3" + body)->entryCount, 1);
  EXPECT_EQ(parse("//2" + body)->entryCount, 0);
  EXPECT_EQ(parse("/ /3" + body)->entryCount, 0);
  EXPECT_EQ(parse("comment / x //3" + body)->entryCount, 1);
}

TEST(Directory, BlankLinesAreSwallowedByTheLineBreakBefore) {
  // The breaks after "//3" take the blank line with them, so the skipped
  // "next line" is the first entry line.
  auto d = parse("//3\n\r\n\n1 5 m n 1 1 k 0 1\n2 5 m n 1 1 k 0 1\n/\nm\nn\nk\n");
  ASSERT_EQ(d->entryCount, 1);
  EXPECT_EQ(d->entries[0].entryId, 2);
}

TEST(Directory, NulOrEndOfFileByteEndsTheText) {
  // Text after a NUL is never read: the name lists are missing, so no entry
  // resolves its mode name.
  std::string text = "//3\nx\n1 5 m n 1 1 k 0 1\n/\n";
  text += '\x1a';
  text += "m\nn\nk\n";
  auto d = parse(text);
  ASSERT_EQ(d->entryCount, 1);
  EXPECT_EQ(d->entries[0].modeIndex, 0);
}

TEST(Directory, KnownSizeStopsAtTheEndOfTheBlock) {
  const std::string text = "//3\nx\n1 5 m n 1 1 k 0 1\n/\nm n";
  auto d = std::make_unique<Directory>();
  // The block ends inside the mode list: "m n" still reads as two names.
  ASSERT_EQ(parseDirectory(ByteReader(text.data(), text.size()), *d), kOk);
  EXPECT_EQ(d->modes.count, 2);
  EXPECT_EQ(d->selects.count, 0);
}

std::string repeatLine(const std::string& line, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += line;
  return out;
}

struct LimitCase {
  const char* name;
  std::string text;
  Status expected;
};

class Limits : public ::testing::TestWithParam<LimitCase> {};

TEST_P(Limits, AreRefusedNotOverrun) {
  Status status = kOk;
  parse(GetParam().text, &status);
  EXPECT_EQ(status, GetParam().expected);
}

const std::string kEntry = "1 5 m n 1 1 k 0 1\n";
const std::string kLists = "/\nm\nn\nk\n";

INSTANTIATE_TEST_SUITE_P(
    Directory, Limits,
    ::testing::Values(
        LimitCase{"hundred_entries_fit", "//3\nx\n" + repeatLine(kEntry, 100) + kLists, kOk},
        LimitCase{"entry_101_refused", "//3\nx\n" + repeatLine(kEntry, 101) + kLists, kBadResource},
        LimitCase{"name_of_11_fits", "//3\nx\n1 5 abcdefghijk n 1 1 k 0 1\n" + kLists, kOk},
        LimitCase{"name_of_12_refused", "//3\nx\n1 5 abcdefghijkl n 1 1 k 0 1\n" + kLists,
                  kBadResource},
        LimitCase{"list_name_of_12_refused", "//3\nx\n" + kEntry + "/\nabcdefghijkl\nn\nk\n",
                  kBadResource},
        LimitCase{"line_of_255_fits",
                  "//3\nx\n" + kEntry + "/\nm\nn\nk" + std::string(254, ' ') + "\n", kOk},
        LimitCase{"line_of_256_refused",
                  "//3\nx\n" + kEntry + "/\nm\nn\nk" + std::string(255, ' ') + "\n", kBadResource},
        LimitCase{"twelve_mode_names_fit",
                  "//3\nx\n" + kEntry + "/\n" + repeatLine("m ", 12) + "\nn\nk\n", kOk},
        LimitCase{"thirteen_mode_names_refused",
                  "//3\nx\n" + kEntry + "/\n" + repeatLine("m ", 13) + "\nn\nk\n", kBadResource},
        LimitCase{"thirty_two_select_names_fit",
                  "//3\nx\n" + kEntry + "/\nm\n" + repeatLine("Pn ", 32) + "\nk\n", kOk},
        LimitCase{"thirty_three_select_names_refused",
                  "//3\nx\n" + kEntry + "/\nm\n" + repeatLine("Pn ", 33) + "\nk\n", kBadResource},
        LimitCase{"thirteen_class_names_refused",
                  "//3\nx\n" + kEntry + "/\nm\nn\n" + repeatLine("k ", 13) + "\n", kBadResource},
        // The skipped lines are not read into the line buffer.
        LimitCase{
            "long_skipped_line_is_fine",
            "//3" + std::string(400, 'x') + "\n" + std::string(400, 'y') + "\n" + kEntry + kLists,
            kOk}),
    [](const auto& info) { return info.param.name; });

// Entry choice through stage 1 of the exported call.
struct ChoiceCase {
  const char* name;
  std::vector<pack::DirectoryEntryText> entries;
  int32_t expectedNext;
  Status expectedStatus;
};

class StageOne : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(StageOne, LastFittingEntryWins) {
  pack::DirectoryText d = standardDirectory();
  d.entries = GetParam().entries;
  const std::string text = pack::buildDirectory(d);
  const ColorSettings settings = standardSettings();
  const PrintMode mode = standardMode();
  Job job;
  int32_t firstId = -1;
  ASSERT_EQ(CmNew(&settings, &mode, 0, &firstId, &job.context), kOk);
  job.nextId = 12345;
  EXPECT_EQ(CmSetResource(job.context, text.c_str(), &job.nextId), GetParam().expectedStatus);
  EXPECT_EQ(job.nextId, GetParam().expectedNext);
  EXPECT_EQ(job.context->stage, 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Directory, StageOne,
    ::testing::Values(
        ChoiceCase{"single_fit", {{17, 5, "mode3", "P0", 720, 720, "photo", 0, 1}}, 17, kOk},
        ChoiceCase{"later_fit_wins",
                   {{17, 5, "mode3", "P0", 720, 720, "photo", 0, 1},
                    {18, 5, "mode3", "P0", 720, 720, "photo", 0, 1},
                    {19, 5, "mode3", "P0", 720, 360, "photo", 0, 1}},
                   18,
                   kOk},
        ChoiceCase{"last_fit_with_id_0_gives_none",
                   {{17, 5, "mode3", "P0", 720, 720, "photo", 0, 1},
                    {0, 5, "mode3", "P0", 720, 720, "photo", 0, 1}},
                   0,
                   kBadResource},
        ChoiceCase{
            "wrong_class", {{17, 5, "mode3", "P0", 720, 720, "plain", 0, 1}}, 0, kBadResource},
        ChoiceCase{"wrong_select_value",
                   {{17, 5, "mode3", "P0", 720, 720, "photo", 1, 1}},
                   0,
                   kBadResource},
        ChoiceCase{"wrong_select_name",
                   {{17, 5, "mode3", "P1", 720, 720, "photo", 0, 1}},
                   0,
                   kBadResource},
        ChoiceCase{
            "wrong_bits", {{17, 5, "mode3", "P0", 720, 720, "photo", 0, 2}}, 0, kBadResource},
        ChoiceCase{"unknown_mode_name_is_index_0",
                   {{17, 5, "mode9", "P0", 720, 720, "photo", 0, 1}},
                   0,
                   kBadResource}),
    [](const auto& info) { return info.param.name; });

TEST(StageOne, StoresBothNumbersAndModeZeroNeverFits) {
  pack::DirectoryText d = standardDirectory(23, 0);
  const std::string text = pack::buildDirectory(d);
  ColorSettings settings = standardSettings();
  PrintMode mode = standardMode();
  Job job;
  int32_t firstId = -1;
  ASSERT_EQ(CmNew(&settings, &mode, 0, &firstId, &job.context), kOk);
  ASSERT_EQ(CmSetResource(job.context, text.c_str(), &job.nextId), kOk);
  EXPECT_EQ(job.context->entryId, 23);
  EXPECT_EQ(job.context->entryCode, -1);

  // An entry whose mode name is the list's first name has index 0; CmNew
  // turns mode 0 into 3, so it cannot fit.
  d.entries[0].modeName = "none";
  const std::string zero = pack::buildDirectory(d);
  mode.mode = 0;
  Job second;
  ASSERT_EQ(CmNew(&settings, &mode, 0, &firstId, &second.context), kOk);
  EXPECT_EQ(CmSetResource(second.context, zero.c_str(), &second.nextId), kBadResource);
}

TEST(StageOne, WorkAreaFailuresLeaveNextIdAndLeakNothing) {
  const std::string text = pack::buildDirectory(standardDirectory());
  const ColorSettings settings = standardSettings();
  const PrintMode mode = standardMode();
  for (Operation op : {Operation::kAllocate, Operation::kLock}) {
    FaultPlan plan;
    {
      ScopedFaultPlan scope(plan);
      CmContext* context = nullptr;
      int32_t firstId = 0;
      ASSERT_EQ(CmNew(&settings, &mode, 0, &firstId, &context), kOk);
      // CmNew took two allocations; the third is the work area.
      plan.failOn(op, 3);
      int32_t nextId = 777;
      EXPECT_EQ(CmSetResource(context, text.c_str(), &nextId),
                op == Operation::kAllocate ? kAllocFailed : kLockFailed);
      EXPECT_EQ(nextId, 777);
      EXPECT_EQ(context->stage, 2u) << "the stage moves on all the same";
      CmDelete(context);
    }
    EXPECT_EQ(plan.liveAllocations, 0);
  }
}

}  // namespace
}  // namespace kestrl::colour
