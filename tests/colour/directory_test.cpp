// Directory tokenising, limits and entry choice.
#include "colour/directory.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "colour_test_support.h"

namespace kestrl::colour {
namespace {

using namespace testing;

TEST(Directory, NumberFieldReadsDigitsAndAnyMinusSign) {
  // Non-digits count by their code minus '0': 'A' is 17.
  const std::pair<std::string, int32_t> cases[] = {{"720", 720}, {"-12", -12}, {"1-2", -12},
                                                   {"12-", -12}, {"", 0},      {"0", 0},
                                                   {"1A", 27},   {"--5", -5}};
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(parseNumber(text.data(), static_cast<int>(text.size())), expected) << text;
  }
}

std::unique_ptr<Directory> parse(const std::string& text, Status* status = nullptr,
                                 bool knownSize = false) {
  auto directory = std::make_unique<Directory>();
  const ByteReader reader =
      knownSize ? ByteReader(text.data(), text.size()) : ByteReader(text.c_str());
  const Status result = parseDirectory(reader, *directory);
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
  EXPECT_EQ((std::array{e.xResolution, e.yResolution, e.selectValue, e.bitsPerPixel}),
            (std::array{720, 360, -4, 2}));
}

TEST(Directory, SecondListBaseAndPositions) {
  struct Case {
    const char *selectLine, *entryName;
    int32_t expectedIndex;
  };
  const Case cases[] = {{"P1 P2", "P1", 0},     {"10 P1 P2", "P2", 11},
                        {"-3 P1 P2", "P2", -2}, {"10 P1 P2", "P9", 0},  // unknown name
                        {"P1 P2 P1", "P1", 2},  // a repeated name takes its last position
                        {"P1 p2", "P2", 0}};    // names are case sensitive
  for (const Case& c : cases) {
    auto d = parse(std::string("//3\nx\n1 5 m ") + c.entryName + " 1 1 k 0 1\n/\nm\n" +
                   c.selectLine + "\nk\n");
    ASSERT_EQ(d->entryCount, 1);
    EXPECT_EQ(d->entries[0].nameIndex, c.expectedIndex) << c.selectLine << " " << c.entryName;
  }
}

TEST(Directory, MarkerBlankLinesAndTheEndOfTheText) {
  const std::string body = "\nx\n1 5 m n 1 1 k 0 1\n/\nm\nn\nk\n";
  EXPECT_EQ(parse("//3" + body)->entryCount, 1);
  EXPECT_EQ(parse("//2" + body)->entryCount, 0);
  EXPECT_EQ(parse("/ /3" + body)->entryCount, 0);
  EXPECT_EQ(parse("comment / x //3" + body)->entryCount, 1);

  // The breaks after "//3" take the blank line with them, so the skipped
  // "next line" is the first entry line.
  auto d = parse("//3\n\r\n\n1 5 m n 1 1 k 0 1\n2 5 m n 1 1 k 0 1\n/\nm\nn\nk\n");
  ASSERT_EQ(d->entryCount, 1);
  EXPECT_EQ(d->entries[0].entryId, 2);

  // Text after an end-of-file byte is never read: the name lists are
  // missing, so no entry resolves its mode name.
  d = parse("//3\nx\n1 5 m n 1 1 k 0 1\n/\n\x1am\nn\nk\n");
  ASSERT_EQ(d->entryCount, 1);
  EXPECT_EQ(d->entries[0].modeIndex, 0);

  // A block of known size ends inside the mode list: "m n" still reads as
  // two names.
  Status status = kBadResource;
  d = parse("//3\nx\n1 5 m n 1 1 k 0 1\n/\nm n", &status, true);
  ASSERT_EQ(status, kOk);
  EXPECT_EQ(d->modes.count, 2);
  EXPECT_EQ(d->selects.count, 0);
}

std::string repeat(const std::string& line, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += line;
  return out;
}

TEST(Directory, LimitsAreRefusedNotOverrun) {
  const std::string head = "//3\nx\n", entry = "1 5 m n 1 1 k 0 1\n", lists = "/\nm\nn\nk\n";
  const std::pair<std::string, Status> cases[] = {
      {head + repeat(entry, 100) + lists, kOk},
      {head + repeat(entry, 101) + lists, kBadResource},
      {head + "1 5 abcdefghijk n 1 1 k 0 1\n" + lists, kOk},  // names of 11 fit, 12 do not
      {head + "1 5 abcdefghijkl n 1 1 k 0 1\n" + lists, kBadResource},
      {head + entry + "/\nabcdefghijkl\nn\nk\n", kBadResource},
      {head + entry + "/\nm\nn\nk" + std::string(254, ' ') + "\n", kOk},  // lines of 255 fit
      {head + entry + "/\nm\nn\nk" + std::string(255, ' ') + "\n", kBadResource},
      {head + entry + "/\n" + repeat("m ", 12) + "\nn\nk\n", kOk},
      {head + entry + "/\n" + repeat("m ", 13) + "\nn\nk\n", kBadResource},
      {head + entry + "/\nm\n" + repeat("Pn ", 32) + "\nk\n", kOk},
      {head + entry + "/\nm\n" + repeat("Pn ", 33) + "\nk\n", kBadResource},
      {head + entry + "/\nm\nn\n" + repeat("k ", 13) + "\n", kBadResource},
      // The skipped lines are not read into the line buffer.
      {"//3" + std::string(400, 'x') + "\n" + std::string(400, 'y') + "\n" + entry + lists, kOk}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    Status status = kOk;
    parse(cases[i].first, &status);
    EXPECT_EQ(status, cases[i].second) << "case " << i;
  }
}

// Entry choice through stage 1 of the exported call: the last fitting
// entry wins.
TEST(StageOne, LastFittingEntryWins) {
  using E = pack::DirectoryEntryText;
  const E fit{17, 5, "mode3", "P0", 720, 720, "photo", 0, 1};
  auto with = [&](auto change) {
    E e = fit;
    change(e);
    return e;
  };
  struct Case {
    std::vector<E> entries;
    int32_t expectedNext;
  };
  const Case cases[] = {
      {{fit}, 17},
      {{fit, with([](E& e) { e.id = 18; }), with([](E& e) { e.yResolution = 360; })}, 18},
      {{fit, with([](E& e) { e.id = 0; })}, 0},  // last fit with id 0 gives none
      {{with([](E& e) { e.className = "plain"; })}, 0},
      {{with([](E& e) { e.selectValue = 1; })}, 0},
      {{with([](E& e) { e.selectName = "P1"; })}, 0},
      {{with([](E& e) { e.bitsPerPixel = 2; })}, 0},
      {{with([](E& e) { e.modeName = "mode9"; })}, 0}};  // unknown mode name is index 0
  for (size_t i = 0; i < std::size(cases); ++i) {
    pack::DirectoryText d = standardDirectory();
    d.entries = cases[i].entries;
    Job job;
    ASSERT_EQ(job.begin(standardSettings()), kOk);
    job.nextId = 12345;
    EXPECT_EQ(job.feed(pack::buildDirectory(d).c_str()),
              cases[i].expectedNext != 0 ? kOk : kBadResource)
        << "case " << i;
    EXPECT_EQ(job.nextId, cases[i].expectedNext) << "case " << i;
    EXPECT_EQ(job.context->stage, 2u);
  }
}

}  // namespace
}  // namespace kestrl::colour
