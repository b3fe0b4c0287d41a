// The calibration sequence: record checks, channel map, table choice, the
// final pass, early stops and allocation failures.
#include "colour/calibration.h"

#include <gtest/gtest.h>

#include "colour/resource_stages.h"
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

constexpr uint8_t kKey = 7;
constexpr int32_t kCorrectionId = 555;

// Byte x of correction table t; distinct for every table.
uint8_t correction(int t, int x) {
  return static_cast<uint8_t>(x ^ (t * 11 + 1));
}

// The calibration resources of one job.
struct Calibration {
  std::vector<uint8_t> record;
  std::vector<uint8_t> channelMap;
  std::vector<uint8_t> nominal;
  std::string directory;
  std::vector<uint8_t> tables = pack::buildCorrectionTables(correction);

  Calibration(const std::vector<uint8_t>& values, const std::vector<uint8_t>& nominalValues,
              const std::vector<pack::ChannelMapRecord>& maps = {})
      : record(pack::buildCalibrationRecord(kKey, values)),
        channelMap(pack::buildChannelMapResource(maps)),
        nominal(pack::buildNominalValues(nominalValues)) {
    // The correction directory is looked up with table class 0.
    pack::DirectoryText d = standardDirectory(kCorrectionId, 1);
    d.entries[0].className = "plain";
    directory = pack::buildDirectory(d);
  }
};

// A job with a calibration record in its tag list.
struct CalibratedJob {
  TagList tags;
  ColorSettings settings = standardSettings();
  Job job;
  std::vector<uint8_t> stage2Grid;

  Status start(const Calibration& c, pack::ColourTable table = scrambledTable(3)) {
    tags.add(kCalibrationTag, c.record.data());
    settings.tagList = tags.get();
    const Status status =
        job.start(settings, standardMode(), pack::buildDirectory(standardDirectory()),
                  pack::buildColourTable(table));
    if (status == kOk) stage2Grid = job.grid();
    return status;
  }
  Status feed(const void* block) {
    return static_cast<Status>(CmSetResource(job.context, block, &job.nextId));
  }
  Status runToEnd(const Calibration& c) {
    for (const void* block :
         {static_cast<const void*>(c.channelMap.data()), static_cast<const void*>(c.nominal.data()),
          static_cast<const void*>(c.directory.c_str()),
          static_cast<const void*>(c.tables.data())}) {
      const Status status = feed(block);
      if (status != kOk) return status;
    }
    return kOk;
  }
};

struct ChoiceCase {
  const char* name;
  std::vector<uint8_t> values;
  std::vector<uint8_t> nominal;
  std::vector<pack::ChannelMapRecord> maps;
  std::array<int, 4> tableOfGridChannel;  // -1: no calibration channel writes it
};

class TableChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(TableChoice, EveryGridByteGoesThroughItsChannelsTable) {
  const ChoiceCase& c = GetParam();
  const Calibration calibration(c.values, c.nominal, c.maps);
  CalibratedJob run;
  ASSERT_EQ(run.start(calibration), kOk);
  EXPECT_EQ(run.job.nextId, kChannelMapResource);
  const std::array<uint8_t, 256> ramp = std::to_array(run.job.lut().greyRamp);
  ASSERT_EQ(run.runToEnd(calibration), kOk);
  EXPECT_EQ(run.job.nextId, -1);
  EXPECT_EQ(run.job.context->calibration, nullptr);

  const std::vector<uint8_t> grid = run.job.grid();
  for (size_t i = 0; i < grid.size(); ++i) {
    const int table = c.tableOfGridChannel[i % 4];
    const uint8_t expected = table < 0 ? 0 : correction(table, run.stage2Grid[i]);
    ASSERT_EQ(grid[i], expected) << "byte " << i;
  }
  EXPECT_EQ(std::to_array(run.job.lut().greyRamp), ramp) << "the grey ramp is not rebuilt";
}

INSTANTIATE_TEST_SUITE_P(
    Calibration, TableChoice,
    ::testing::Values(
        // t = (value - nominal + 20) / 2, truncated toward zero, within 0..20.
        ChoiceCase{"differences_10_minus_10_21_minus_21",
                   {50, 40, 70, 30},
                   {40, 50, 49, 51},
                   {},
                   {15, 5, 20, 0}},
        ChoiceCase{
            "differences_3_and_minus_3", {53, 47, 50, 50}, {50, 50, 50, 50}, {}, {11, 8, 10, 10}},
        // All within 2 of nominal: every channel takes the neutral table,
        // though 49 alone would give 9 and 52 would give 11.
        ChoiceCase{
            "all_within_2_use_table_10", {51, 49, 52, 48}, {50, 50, 50, 50}, {}, {10, 10, 10, 10}},
        ChoiceCase{"map_for_other_key_ignored",
                   {50, 40, 50, 50},
                   {40, 50, 50, 50},
                   {{3, {3, 2, 1, 0}}},
                   {15, 5, 10, 10}},
        ChoiceCase{"later_record_for_key_wins",
                   {50, 40, 50, 50},
                   {40, 50, 50, 50},
                   {{kKey, {3, 2, 1, 0}}, {kKey, {1, 0, 2, 3}}},
                   {5, 15, 10, 10}},
        ChoiceCase{"unwritten_channel_becomes_0",
                   {50, 40, 60, 50},
                   {40, 50, 50, 50},
                   {{kKey, {0, 0, 2, 3}}},
                   {5, -1, 15, 10}},
        // A record naming a grid channel that does not exist is skipped.
        ChoiceCase{"out_of_range_map_skipped",
                   {50, 40, 50, 50},
                   {40, 50, 50, 50},
                   {{kKey, {3, 2, 1, 0}}, {kKey, {9, 0, 1, 2}}},
                   {10, 10, 5, 15}}),
    [](const auto& info) { return info.param.name; });

struct RecordCase {
  const char* name;
  std::vector<uint8_t> record;
};

class InvalidRecord : public ::testing::TestWithParam<RecordCase> {};

TEST_P(InvalidRecord, TheSequenceDoesNotStart) {
  TagList tags;
  tags.add(kCalibrationTag, GetParam().record.data());
  ColorSettings settings = standardSettings();
  settings.tagList = tags.get();
  Job job;
  ASSERT_EQ(job.start(settings, standardMode(), pack::buildDirectory(standardDirectory()),
                      pack::buildColourTable(scrambledTable(3))),
            kOk);
  EXPECT_EQ(job.nextId, -1);
  EXPECT_EQ(job.context->calibration, nullptr);
}

std::vector<uint8_t> withByte(std::vector<uint8_t> bytes, size_t at, uint8_t value) {
  bytes[at] = value;
  return bytes;
}

const std::vector<uint8_t> kGoodRecord = pack::buildCalibrationRecord(kKey, {50, 50, 50, 50});

INSTANTIATE_TEST_SUITE_P(
    Calibration, InvalidRecord,
    ::testing::Values(RecordCase{"value_29", withByte(kGoodRecord, 5, 29)},
                      RecordCase{"value_71", withByte(kGoodRecord, 7, 71)},
                      RecordCase{"wrong_tag", withByte(kGoodRecord, 1, 'X')},
                      RecordCase{"missing_fe", withByte(kGoodRecord, 8, 0xFF)},
                      RecordCase{"missing_ff", withByte(kGoodRecord, 9, 0)},
                      // Three values for a four-channel table: the fourth is 0xFE.
                      RecordCase{"too_few_values",
                                 pack::buildCalibrationRecord(kKey, {50, 50, 50})}),
    [](const auto& info) { return info.param.name; });

TEST(Calibration, NoTagOrEmptyTagListOrTooManyChannels) {
  TagList empty;
  ColorSettings settings = standardSettings();
  settings.tagList = empty.get();
  Job job;
  ASSERT_EQ(job.start(settings, standardMode(), pack::buildDirectory(standardDirectory()),
                      pack::buildColourTable(scrambledTable(3))),
            kOk);
  EXPECT_EQ(job.nextId, -1);

  // More than 20 channels cannot calibrate.
  const Calibration wide(std::vector<uint8_t>(21, 50), std::vector<uint8_t>(21, 50));
  pack::ColourTable table = pack::makeColourTable(
      2, 21, [](uint8_t r, uint8_t, uint8_t, uint8_t* out) { std::fill(out, out + 21, r); });
  CalibratedJob run;
  ASSERT_EQ(run.start(wide, table), kOk);
  EXPECT_EQ(run.job.nextId, -1);
  EXPECT_EQ(run.job.context->calibration, nullptr);
}

TEST(Calibration, HandsBackEachIdAndRefusesAStageAfterTheLast) {
  const Calibration calibration({50, 50, 50, 50}, {50, 50, 50, 50});
  CalibratedJob run;
  ASSERT_EQ(run.start(calibration), kOk);
  EXPECT_EQ(run.job.nextId, 980);
  ASSERT_EQ(run.feed(calibration.channelMap.data()), kOk);
  EXPECT_EQ(run.job.nextId, 990);
  ASSERT_EQ(run.feed(calibration.nominal.data()), kOk);
  EXPECT_EQ(run.job.nextId, 900);
  ASSERT_EQ(run.feed(calibration.directory.c_str()), kOk);
  EXPECT_EQ(run.job.nextId, kCorrectionId);
  EXPECT_EQ(run.job.context->tableClass, 0);
  ASSERT_EQ(run.feed(calibration.tables.data()), kOk);
  EXPECT_EQ(run.job.nextId, -1);
  EXPECT_EQ(run.job.context->stage, 7u);

  const std::vector<uint8_t> grid = run.job.grid();
  run.job.nextId = 42;
  EXPECT_EQ(run.feed(calibration.tables.data()), kBadResource);
  EXPECT_EQ(run.job.nextId, 42);
  EXPECT_EQ(run.job.context->stage, 7u);
  EXPECT_EQ(run.job.grid(), grid);
}

TEST(Calibration, AStageAfterAnUncalibratedTableIsRefused) {
  Job job;
  ASSERT_EQ(job.start(standardSettings(), standardMode(), pack::buildDirectory(standardDirectory()),
                      pack::buildColourTable(scrambledTable(3))),
            kOk);
  ASSERT_EQ(job.nextId, -1);
  const std::vector<uint8_t> grid = job.grid();
  job.nextId = 42;
  EXPECT_EQ(CmSetResource(job.context, grid.data(), &job.nextId), kBadResource);
  EXPECT_EQ(job.nextId, 42);
  EXPECT_EQ(job.context->stage, 3u);
}

TEST(Calibration, CorrectionDirectoryWithoutFitLeavesNextIdZero) {
  Calibration calibration({50, 50, 50, 50}, {50, 50, 50, 50});
  calibration.directory = pack::buildDirectory(standardDirectory());  // class "photo" != 0
  CalibratedJob run;
  ASSERT_EQ(run.start(calibration), kOk);
  ASSERT_EQ(run.feed(calibration.channelMap.data()), kOk);
  ASSERT_EQ(run.feed(calibration.nominal.data()), kOk);
  EXPECT_EQ(run.feed(calibration.directory.c_str()), kOk);
  EXPECT_EQ(run.job.nextId, 0);
}

TEST(Calibration, ShortResourcesOfKnownSizeAreRefused) {
  const Calibration calibration({50, 40, 50, 50}, {40, 50, 50, 50});
  CalibratedJob run;
  ASSERT_EQ(run.start(calibration), kOk);
  CmContext* context = run.job.context;
  int32_t next = 0;
  ASSERT_EQ(
      setResource(context, ByteReader(calibration.channelMap.data(), calibration.channelMap.size()),
                  &next),
      kOk);
  next = 5;
  EXPECT_EQ(setResource(context, ByteReader(calibration.nominal.data(), 3), &next), kBadResource);
  EXPECT_EQ(next, 5);
  // The failed stage is not repeated: the caller has stopped, and CmDelete
  // releases the state (checked by the leak test below).
  EXPECT_NE(context->calibration, nullptr);
}

TEST(Calibration, StoppingEarlyLeavesNothingBehindAfterCmDelete) {
  const Calibration calibration({50, 50, 50, 50}, {50, 50, 50, 50});
  for (int stagesFed = 0; stagesFed < 4; ++stagesFed) {
    FaultPlan plan;
    {
      ScopedFaultPlan scope(plan);
      CalibratedJob run;
      ASSERT_EQ(run.start(calibration), kOk);
      const void* blocks[] = {calibration.channelMap.data(), calibration.nominal.data(),
                              calibration.directory.c_str()};
      for (int i = 0; i < stagesFed && i < 3; ++i) ASSERT_EQ(run.feed(blocks[i]), kOk);
      EXPECT_NE(run.job.context->calibration, nullptr);
    }
    EXPECT_EQ(plan.liveAllocations, 0) << stagesFed;
  }
}

TEST(Calibration, AllocationFailuresAreReportedAndLeakNothing) {
  const Calibration calibration({50, 50, 50, 50}, {50, 50, 50, 50});
  // CmNew 1-2, directory 3, grid 4, adjustment pass 5-6, state 7, tables 8,
  // correction directory work area 9.
  struct Case {
    Operation op;
    uint32_t call;
    Status expected;
    int stage;  // the stage that reports it
  };
  for (const Case& c :
       {Case{Operation::kAllocate, 7, kAllocFailed, 2}, Case{Operation::kLock, 7, kLockFailed, 2},
        Case{Operation::kAllocate, 8, kAllocFailed, 2}, Case{Operation::kLock, 8, kLockFailed, 2},
        Case{Operation::kAllocate, 9, kAllocFailed, 5},
        Case{Operation::kLock, 9, kLockFailed, 5}}) {
    FaultPlan plan;
    {
      ScopedFaultPlan scope(plan);
      plan.failOn(c.op, c.call);
      CalibratedJob run;
      const Status stage2 = run.start(calibration);
      if (c.stage == 2) {
        EXPECT_EQ(stage2, c.expected);
        EXPECT_EQ(run.job.context->calibration, nullptr);
        continue;
      }
      ASSERT_EQ(stage2, kOk);
      ASSERT_EQ(run.feed(calibration.channelMap.data()), kOk);
      ASSERT_EQ(run.feed(calibration.nominal.data()), kOk);
      EXPECT_EQ(run.feed(calibration.directory.c_str()), c.expected);
      EXPECT_EQ(run.job.nextId, 900) << "next id is not written";
    }
    EXPECT_EQ(plan.liveAllocations, 0);
  }
}

}  // namespace
}  // namespace kestrl::colour
