// The calibration sequence: record checks, channel map, table choice, the
// final pass, early stops and allocation failures.
#include "colour/calibration.h"

#include <gtest/gtest.h>

#include "colour_test_support.h"

namespace kestrl::colour {
namespace {

using namespace testing;

constexpr uint8_t kKey = 7;
constexpr int32_t kCorrectionId = 555;

// Byte x of correction table t; distinct for every table.
uint8_t correction(int t, int x) {
  return static_cast<uint8_t>(x ^ (t * 11 + 1));
}

// The calibration resources of one job and a job with the record in its
// tag list.
struct CalibratedJob {
  std::vector<uint8_t> record, channelMap, nominal;
  std::string directory;
  std::vector<uint8_t> tables = pack::buildCorrectionTables(correction);
  TagList tags;
  Job job;
  std::vector<uint8_t> stage2Grid;

  CalibratedJob(const std::vector<uint8_t>& values, const std::vector<uint8_t>& nominalValues,
                const std::vector<pack::ChannelMapRecord>& maps = {})
      : record(pack::buildCalibrationRecord(kKey, values)),
        channelMap(pack::buildChannelMapResource(maps)),
        nominal(pack::buildNominalValues(nominalValues)),
        tags(kCalibrationTag, record.data()) {
    // The correction directory is looked up with table class 0.
    pack::DirectoryText d = standardDirectory(kCorrectionId, 1);
    d.entries[0].className = "plain";
    directory = pack::buildDirectory(d);
  }
  Status start(const pack::ColourTable& table = scrambledTable(3)) {
    const Status status = job.start(tags.settings(), table);
    if (status == kOk) stage2Grid = job.grid();
    return status;
  }
  // Feeds the first `count` calibration resources, stopping at a failure.
  const void* block(int i) const {
    const void* blocks[] = {channelMap.data(), nominal.data(), directory.c_str(), tables.data()};
    return blocks[i];
  }
  Status feed(int count = 4) {
    Status status = kOk;
    for (int i = 0; i < count && status == kOk; ++i) status = job.feed(block(i));
    return status;
  }
};

TEST(Calibration, EveryGridByteGoesThroughItsChannelsTable) {
  struct Case {
    std::vector<uint8_t> values, nominal;
    std::vector<pack::ChannelMapRecord> maps;
    std::array<int, 4> tableOfGridChannel;  // -1: no calibration channel writes it
  };
  const Case cases[] = {
      // t = (value - nominal + 20) / 2, truncated toward zero, within 0..20.
      {{50, 40, 70, 30}, {40, 50, 49, 51}, {}, {15, 5, 20, 0}},
      {{53, 47, 50, 50}, {50, 50, 50, 50}, {}, {11, 8, 10, 10}},
      // All within 2 of nominal: every channel takes the neutral table,
      // though 49 alone would give 9 and 52 would give 11.
      {{51, 49, 52, 48}, {50, 50, 50, 50}, {}, {10, 10, 10, 10}},
      // A map for another key is ignored; a later record for the key wins.
      {{50, 40, 50, 50}, {40, 50, 50, 50}, {{3, {3, 2, 1, 0}}}, {15, 5, 10, 10}},
      {{50, 40, 50, 50},
       {40, 50, 50, 50},
       {{kKey, {3, 2, 1, 0}}, {kKey, {1, 0, 2, 3}}},
       {5, 15, 10, 10}},
      // A grid channel no calibration channel writes becomes 0.
      {{50, 40, 60, 50}, {40, 50, 50, 50}, {{kKey, {0, 0, 2, 3}}}, {5, -1, 15, 10}},
      // A record naming a grid channel that does not exist is skipped.
      {{50, 40, 50, 50},
       {40, 50, 50, 50},
       {{kKey, {3, 2, 1, 0}}, {kKey, {9, 0, 1, 2}}},
       {10, 10, 5, 15}}};
  for (size_t n = 0; n < std::size(cases); ++n) {
    const Case& c = cases[n];
    CalibratedJob run(c.values, c.nominal, c.maps);
    ASSERT_EQ(run.start(), kOk);
    EXPECT_EQ(run.job.nextId, kChannelMapResource);
    const std::array<uint8_t, 256> ramp = std::to_array(run.job.lut().greyRamp);
    ASSERT_EQ(run.feed(), kOk);
    EXPECT_EQ(run.job.nextId, -1);
    EXPECT_EQ(run.job.context->calibration, nullptr);
    const std::vector<uint8_t> grid = run.job.grid();
    for (size_t i = 0; i < grid.size(); ++i) {
      const int table = c.tableOfGridChannel[i % 4];
      ASSERT_EQ(grid[i], table < 0 ? 0 : correction(table, run.stage2Grid[i]))
          << "case " << n << " byte " << i;
    }
    EXPECT_EQ(std::to_array(run.job.lut().greyRamp), ramp) << "the grey ramp is not rebuilt";
  }
}

std::vector<uint8_t> withByte(std::vector<uint8_t> bytes, size_t at, uint8_t value) {
  bytes[at] = value;
  return bytes;
}

TEST(Calibration, InvalidOrMissingRecordOrTooManyChannelsDoNotStartTheSequence) {
  const std::vector<uint8_t> good = pack::buildCalibrationRecord(kKey, {50, 50, 50, 50});
  const std::vector<uint8_t> records[] = {
      withByte(good, 5, 29), withByte(good, 7, 71),  // values outside 30..70
      withByte(good, 1, 'X'), withByte(good, 8, 0xFF), withByte(good, 9, 0),
      // Three values for a four-channel table: the fourth is 0xFE.
      pack::buildCalibrationRecord(kKey, {50, 50, 50})};
  for (const std::vector<uint8_t>& record : records) {
    Job job;
    ASSERT_EQ(job.start(TagList(kCalibrationTag, record.data()).settings(), scrambledTable(3)),
              kOk);
    EXPECT_EQ(job.nextId, -1);
    EXPECT_EQ(job.context->calibration, nullptr);
  }
  Job untagged;
  ASSERT_EQ(untagged.start(TagList().settings(), scrambledTable(3)), kOk);
  EXPECT_EQ(untagged.nextId, -1);

  // More than 20 channels cannot calibrate.
  CalibratedJob wide(std::vector<uint8_t>(21, 50), std::vector<uint8_t>(21, 50));
  ASSERT_EQ(
      wide.start(pack::makeColourTable(
          2, 21, [](uint8_t r, uint8_t, uint8_t, uint8_t* out) { std::fill(out, out + 21, r); })),
      kOk);
  EXPECT_EQ(wide.job.nextId, -1);
  EXPECT_EQ(wide.job.context->calibration, nullptr);
}

TEST(Calibration, HandsBackEachIdAndRefusesAStageAfterTheLast) {
  CalibratedJob run({50, 50, 50, 50}, {50, 50, 50, 50});
  ASSERT_EQ(run.start(), kOk);
  const int32_t ids[] = {980, 990, 900, kCorrectionId, -1};
  for (int fed = 0; fed <= 4; ++fed) {
    if (fed > 0) {
      ASSERT_EQ(run.job.feed(run.block(fed - 1)), kOk);
    }
    EXPECT_EQ(run.job.nextId, ids[fed]) << fed;
  }
  EXPECT_EQ(run.job.context->tableClass, 0);
  EXPECT_EQ(run.job.context->stage, 7u);

  const std::vector<uint8_t> grid = run.job.grid();
  run.job.nextId = 42;
  EXPECT_EQ(run.job.feed(run.tables.data()), kBadResource);
  EXPECT_EQ(run.job.nextId, 42);
  EXPECT_EQ(run.job.context->stage, 7u);
  EXPECT_EQ(run.job.grid(), grid);

  // After an uncalibrated table the next stage is refused the same way.
  Job plain;
  ASSERT_EQ(plain.start(standardSettings(), scrambledTable(3)), kOk);
  ASSERT_EQ(plain.nextId, -1);
  plain.nextId = 42;
  EXPECT_EQ(plain.feed(grid.data()), kBadResource);
  EXPECT_EQ(plain.nextId, 42);
  EXPECT_EQ(plain.context->stage, 3u);
}

// Every allocation and lock of a calibrated job with an extra section and
// adjustments, failed in turn: CmNew 1-2 (which writes the first id before
// anything can fail), the directory's work area 3 (stage 1), the extra section 4 and the grid 5
// (stage 2, which keeps an extra section already copied), the adjustment pass 6-7 (not reported:
// the grid stays as loaded), the calibration state 8 and its tables 9 (stage 2), the correction
// directory's work area 10 (stage 5). The failing stage reports it and leaves the next id alone; a
// stage that fails still counts; nothing leaks.
TEST(ColourStages, EveryAllocationFailureIsReportedByItsStageAndLeaksNothing) {
  pack::ColourTable table = scrambledTable(4);
  table.extra = {1, 2, 3, 4};
  const std::vector<uint8_t> block = pack::buildColourTable(table);
  for (uint32_t call = 1; call <= 10; ++call) {
    for (Operation op : {Operation::kAllocate, Operation::kLock}) {
      SCOPED_TRACE(::testing::Message() << "call " << call << " op " << int(op));
      withFault(op, call, [&] {
        CalibratedJob run({50, 50, 50, 50}, {50, 50, 50, 50});
        Job& job = run.job;
        ColorSettings settings = run.tags.settings();
        settings.brightness = 20;
        job.nextId = 77;
        const Status created = job.begin(settings);
        if (call <= 2) {
          EXPECT_EQ(created, failedStatus(op));
          EXPECT_EQ(job.nextId, 0);
          EXPECT_EQ(job.context, nullptr);
          return;
        }
        ASSERT_EQ(created, kOk);
        job.nextId = 777;
        const Status stage1 = job.feed(pack::buildDirectory(standardDirectory()).c_str());
        EXPECT_EQ(job.context->stage, 2u);
        if (call == 3) {
          EXPECT_EQ(stage1, failedStatus(op));
          EXPECT_EQ(job.nextId, 777);
          return;
        }
        ASSERT_EQ(stage1, kOk);
        const Status stage2 = job.feed(block.data());
        if (call != 6 && call != 7 && call != 10) {
          EXPECT_EQ(stage2, failedStatus(op));
          EXPECT_EQ(job.lut().gridData == nullptr, call <= 5);
          EXPECT_EQ(job.lut().extraData != nullptr, call != 4) << "extra kept";
          EXPECT_EQ(job.context->calibration, nullptr);
          return;
        }
        ASSERT_EQ(stage2, kOk);
        EXPECT_EQ(job.grid() == table.grid, call != 10) << "adjusted only when the pass ran";
        EXPECT_EQ(run.feed(3), call == 10 ? failedStatus(op) : kOk);
        EXPECT_EQ(job.nextId, call == 10 ? 900 : kCorrectionId);
      });
    }
  }
}

}  // namespace
}  // namespace kestrl::colour
