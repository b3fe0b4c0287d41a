// The halftone resource stages through HalftoneSetResource.
#include "halftone/stages/resource_stages.h"

#include <gtest/gtest.h>

#include <numeric>

#include "halftone/kernels/error_line.h"
#include "halftone/support/halftone_job.h"
#include "memory/fault_injection.h"
#include "memory/memory.h"

namespace kestrl::halftone::testing {
namespace {

using memory::testing::FaultPlan;
using memory::testing::Operation;
using memory::testing::ScopedFaultPlan;

// HalftoneNew and the standard id list.
Status createAndRunStageOne(Job& job) {
  const Status created = job.create();
  return created == kOk ? job.stage(standardIdList()) : created;
}

// HalftoneNew and the stages before the matrix (blocks 0 and 1).
Status runUpToStageThree(Job& job, const std::vector<Block>& blocks) {
  const Status created = job.create();
  const Status first = created == kOk ? job.stage(blocks[0]) : created;
  return first == kOk ? job.stage(blocks[1]) : first;
}

// ----------------------------------------------------------------- stage 1

TEST(IdListStage, CountsErrorLinesByModeInputAndMethod) {
  struct Case {
    uint32_t mode, colorInput, colorMethod, expected;
  };
  const Case cases[] = {
      {0, 0, 0, 0}, {0, 1, 0, 1}, {0, 1, 2, 1}, {0, 1, 1, 0}, {2, 1, 0, 1}, {2, 0, 0, 0},
      {3, 1, 3, 0}, {3, 1, 2, 1}, {1, 0, 0, 1}, {1, 1, 5, 4}, {4, 0, 0, 1}, {4, 1, 0, 4},
  };
  for (const Case& c : cases) {
    Job job;
    job.mode.mode = c.mode;
    if (c.colorInput) job.colour();
    job.mode.colorMethod = c.colorMethod;
    ASSERT_EQ(createAndRunStageOne(job), kOk);
    EXPECT_EQ(job.context->bufferCount, c.expected) << c.mode << " " << c.colorInput;
    EXPECT_EQ(job.nextId, kCurveId);
    for (uint32_t k = 0; k < kErrorLineCount; ++k) {
      EXPECT_EQ(job.context->blocks[1 + k].data != nullptr, k < c.expected) << k;
    }
  }
}

// S = 2 x 64 + 119 -> 244, + 4 = 248 bytes per line; four fit in 64 KB as one
// block cut into views. At 20000 pixels (40120 bytes) they do not.
TEST(IdListStage, CutsOneBlockIntoViewsOnlyWhenAllLinesFit64K) {
  for (uint32_t lineWidth : {64u, 20000u}) {
    Job job;
    job.colour();
    job.mode.lineWidth = lineWidth;
    FaultPlan plan;
    ScopedFaultPlan scope(plan);
    ASSERT_EQ(createAndRunStageOne(job), kOk);
    const uint32_t lineBytes = errorLineBytes(lineWidth);
    const MemoryBlock* lines = &job.context->blocks[kFirstErrorLineBlock];
    const bool oneBlock = lineWidth == 64;
    EXPECT_EQ(plan.liveAllocations, oneBlock ? 2 : 5);
    EXPECT_EQ(lines[0].size, oneBlock ? 4 * lineBytes : lineBytes);
    for (int k = 1; k < 4; ++k) {
      EXPECT_EQ(lines[k].size, lineBytes);
      EXPECT_EQ(lines[k].allocation == nullptr, oneBlock);
      if (oneBlock) {
        EXPECT_EQ(lines[k].data, static_cast<uint8_t*>(lines[0].data) + k * lineBytes);
      }
      const auto* cells = static_cast<const int16_t*>(lines[k].data);
      EXPECT_EQ(std::count(cells, cells + lineBytes / 2, 0), lineBytes / 2) << "zero-filled";
    }
  }
}

TEST(IdListStage, AcceptsFifteenIdsRefusesSixteenAndHandsBackMinusOneForAnEmptyList) {
  struct Case {
    size_t ids;
    Status status;
    int32_t next;
  };
  for (const Case& c : {Case{15, kOk, 100}, Case{16, kBadResource, 0}, Case{0, kOk, -1}}) {
    std::vector<uint16_t> ids(c.ids);
    std::iota(ids.begin(), ids.end(), uint16_t{100});
    Job job;
    ASSERT_EQ(job.create(), kOk);
    job.nextId = 0;
    EXPECT_EQ(job.stage(pack::buildResourceIdList(ids)), c.status) << c.ids;
    EXPECT_EQ(job.nextId, c.next) << c.ids;
    if (c.status == kOk) {
      EXPECT_EQ(job.context->resourceIdList[c.ids], kEndOfIds);
    }
  }
}

// A refused list keeps the ids read before the refusal: stage 2 still runs
// (the counter goes on) and hands back the matrix id the list named, or 0
// for an entry the list never reached. The tables are never complete, so a
// run is refused: 513 where the engine's missing error line is checked
// first, 768 otherwise.
TEST(IdListStage, ARefusedListKeepsTheIdsReadBeforeTheRefusal) {
  struct Case {
    const char* name;
    size_t ids;
    size_t bytes;  // the sized call's block size; 0 for the unsized call
    uint32_t mode, x, y;
    int32_t matrixId;
    Status run;
  };
  const Case cases[] = {
      {"sixteenth id", 16, 0, 1, 720, 720, 101, kBadParameter},
      {"sixteenth id", 16, 0, 1, 720, 360, 102, kBadParameter},
      {"sixteenth id", 16, 0, 3, 1440, 720, 103, kBadResource},
      {"sized, no end marker", 5, 10, 1, 1440, 720, 103, kBadParameter},
      {"sized, cut inside the third id", 5, 5, 3, 720, 720, 101, kBadResource},
      {"sized, cut inside the third id", 5, 5, 1, 720, 360, 0, kBadParameter},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.name << " at " << c.x << "x" << c.y);
    std::vector<uint16_t> ids(c.ids);
    std::iota(ids.begin(), ids.end(), uint16_t{100});
    const Block list = pack::buildResourceIdList(ids);
    Job job;
    job.mode.mode = c.mode;
    job.mode.xResolution = c.x;
    job.mode.yResolution = c.y;
    ASSERT_EQ(job.create(), kOk);
    job.nextId = -7;
    const KestrlStatus refused =
        c.bytes == 0 ? HalftoneSetResource(job.context, list.data(), &job.nextId)
                     : HalftoneSetResourceSized(job.context, list.data(),
                                                static_cast<uint32_t>(c.bytes), &job.nextId);
    EXPECT_EQ(refused, kBadResource);
    EXPECT_EQ(job.nextId, -7) << "a refused list hands back nothing";
    EXPECT_EQ(job.stage({}), kOk);
    EXPECT_EQ(job.nextId, c.matrixId);
    EXPECT_EQ(job.stage(pack::buildThresholdMatrix(permutationMatrix16())), kOk);
    const std::vector<uint8_t> source(8, 100);
    std::vector<uint8_t> out(4, 0x5A);
    EXPECT_EQ(job.halftone(source.data(), out.data(), 8, 0, 0), c.run);
    EXPECT_EQ(out, std::vector<uint8_t>(4, 0x5A));
  }
}

// ------------------------------------------------------- stage 2 and later

TEST(StageTwo, HandsBackTheMatrixIdChosenByResolution) {
  struct Case {
    uint32_t x, y;
    uint16_t id;
  };
  const Case cases[] = {{1440, 720, kMatrixIdByClass[2]},
                        {720, 360, kMatrixIdByClass[1]},
                        {360, 720, kMatrixIdByClass[0]},
                        {720, 720, kMatrixIdByClass[0]},
                        {1440, 1440, kMatrixIdByClass[0]}};
  for (const Case& c : cases) {
    Job job;
    job.mode.xResolution = c.x;
    job.mode.yResolution = c.y;
    ASSERT_EQ(createAndRunStageOne(job), kOk);
    EXPECT_EQ(job.stage({}), kOk);
    EXPECT_EQ(job.nextId, c.id) << c.x << "x" << c.y;
  }
}

TEST(StageTwo, AMissingMatrixIdIsBadResourceAtEveryLaterStage) {
  Job job;
  ASSERT_EQ(job.create(), kOk);
  const uint16_t onlyCurve[] = {kCurveId};
  ASSERT_EQ(job.stage(pack::buildResourceIdList(onlyCurve)), kOk);
  job.nextId = 9;
  EXPECT_EQ(job.stage({}), kBadResource);
  EXPECT_EQ(job.nextId, 9);
  EXPECT_EQ(job.context->blocks[kCurveOrGridBlock].data, nullptr);
  EXPECT_EQ(job.stage(pack::buildThresholdMatrix(permutationMatrix16())), kBadResource);
  EXPECT_EQ(job.context->stage, 3u);
}

TEST(StageTwo, RefusesRampsWithoutAFallOrWithAZeroMargin) {
  struct Case {
    const char* name;
    uint8_t (*ramp)(int v);
  };
  const Case cases[] = {
      {"never falls to 3", [](int) -> uint8_t { return 200; }},
      {"never at 4 or more", [](int) -> uint8_t { return 3; }},
      // Fall at 255 from 255 to 0: h = ((2 x 1) / 255 + 1) / 2 = 0.
      {"zero margin", [](int v) -> uint8_t { return v == 255 ? 0 : 255; }},
  };
  for (const Case& c : cases) {
    Job job;
    job.mode.mode = 3;
    job.mode.bitsPerPixel = 2;
    for (int v = 0; v < 256; ++v) job.lut.greyRamp[v] = c.ramp(v);
    FaultPlan plan;
    ScopedFaultPlan scope(plan);
    ASSERT_EQ(createAndRunStageOne(job), kOk);
    const int64_t live = plan.liveAllocations;
    EXPECT_EQ(job.stage({}), kBadResource) << c.name;
    EXPECT_EQ(plan.liveAllocations, live) << c.name;
    EXPECT_EQ(job.context->blocks[kCurveOrGridBlock].data, nullptr) << c.name;
  }
}

TEST(StageTwo, ColourGridChecks) {
  struct Case {
    const char* name;
    void (*spoil)(Job&, Block&);
    Status status;
    bool released;  // the error line of stage 1 is gone
  };
  const Case cases[] = {
      {"no grid block", [](Job& j, Block&) { j.gridBlockPresent = false; }, kBadParameter, true},
      {"point count 31", [](Job&, Block& b) { b[0] = 31; }, kBadSecondParameter, true},
      {"new levels not rising", [](Job&, Block& b) { b[5] = b[4]; }, kBadResource, false},
      {"old levels end below 255", [](Job& j, Block&) { j.lut.breakpoints[0][1] = 254; },
       kBadResource, false},
      {"no channels", [](Job& j, Block&) { j.lut.channelCount = 0; }, kBadResource, false},
      {"short block", [](Job&, Block& b) { b.resize(20); }, kBadResource, false},
  };
  for (const Case& c : cases) {
    Job job;
    job.colour();
    job.mode.mode = 3;
    Block levels = pack::buildGridLevels(evenGridLevels32());
    c.spoil(job, levels);
    ASSERT_EQ(createAndRunStageOne(job), kOk);
    int32_t next = 0;
    EXPECT_EQ(setResource(job.context, ByteReader(levels.data(), levels.size()), &next), c.status)
        << c.name;
    EXPECT_EQ(job.context->blocks[kCurveOrGridBlock].data, nullptr) << c.name;
    EXPECT_EQ(job.context->blocks[kFirstErrorLineBlock].data == nullptr, c.released) << c.name;
    EXPECT_EQ(job.context->lut.gridPoints[0], 2) << c.name << ": record unchanged";
  }
}

TEST(StageTwo, ModeZeroNeedsFourInksPerNode) {
  Job job;
  job.colour();
  job.mode.mode = 0;
  job.lut.channelCount = 3;
  job.setOldGrid({0, 255});
  ASSERT_EQ(createAndRunStageOne(job), kOk);
  EXPECT_EQ(job.stage({}), kBadResource);
}

TEST(StageTwo, ColourGridReplacesTheRecordsGrid) {
  Job job;
  job.colour();
  job.mode.mode = 3;
  job.setOldGrid({0, 100, 255});
  ASSERT_EQ(createAndRunStageOne(job), kOk);
  ASSERT_EQ(job.stage(pack::buildGridLevels(evenGridLevels32())), kOk);
  const CmLut& lut = job.context->lut;
  EXPECT_EQ(lut.gridBlock, nullptr);
  EXPECT_EQ(lut.gridData, job.context->blocks[kCurveOrGridBlock].data);
  EXPECT_EQ(job.context->blocks[kCurveOrGridBlock].size, 32u * 32 * 32 * 4);
  for (int axis = 0; axis < 3; ++axis) {
    EXPECT_EQ(lut.gridPoints[axis], 32);
    EXPECT_EQ(lut.breakpoints[axis][31], 255);
    EXPECT_EQ(lut.breakpoints[axis][1], 8);
  }
  // The far corner of the new grid is the far corner of the old one.
  const uint8_t* last = lut.gridData + (32 * 32 * 32 - 1) * 4;
  for (uint32_t k = 0; k < 4; ++k) EXPECT_EQ(last[k], Job::nodeByte(2, 2, 2, k));
}

// ----------------------------------------------------------------- stage 3

// Refusals of two-bit output at unequal resolutions and of unknown ink gains
// are whole-job tests (the failed stage keeps Halftone from printing).
TEST(MatrixStage, TwoBitSpreadLimitsByResolutionClass) {
  struct Case {
    uint32_t x;
    int32_t gain;
    std::array<uint32_t, 4> limits;
  };
  const Case cases[] = {
      {1440, 250, {14, 3, 0, 0}},
      {720, 999, {15, 3, 1, 0}},  // ink gain not read for two-bit output
  };
  for (const Case& c : cases) {
    Job job;
    job.mode.bitsPerPixel = 2;
    job.mode.xResolution = c.x;
    job.lut.scaleParams[0] = c.gain;
    std::vector<Block> blocks = job.standardBlocks(permutationMatrix16());
    ASSERT_EQ(runUpToStageThree(job, blocks), kOk);
    EXPECT_EQ(job.stage(blocks[2]), kOk);
    const HalftoneContext& h = *job.context;
    EXPECT_EQ((std::array{h.spreadLimit1, h.spreadLimit2, h.spreadLimit3, h.spreadLimit4}),
              c.limits);
  }
}

TEST(MatrixStage, RefusesDataTheEnginesCannotUseBeforeAllocating) {
  struct Case {
    const char* name;
    uint32_t width, height;  // 16 x 16: the permutation matrix
    uint8_t bytesPerCell;
    int32_t fullInkGain;
    std::vector<uint8_t> levels;  // of the old grid
  };
  const Case cases[] = {
      {"width 3", 3, 4, 2, 100, {0, 255}},
      {"height 0", 16, 0, 2, 100, {0, 255}},
      {"256 x 256", 256, 256, 2, 100, {0, 255}},
      {"one byte per cell", 16, 16, 1, 100, {0, 255}},
      {"full-ink gain 0", 16, 16, 2, 0, {0, 255}},
      {"full-ink gain beyond 16 bits", 16, 16, 2, 12851, {0, 255}},
      {"breakpoints not rising", 16, 16, 2, 100, {0, 100, 100, 255}},
      {"breakpoints not from 0", 16, 16, 2, 100, {1, 255}},
  };
  for (const Case& c : cases) {
    Job job;
    pack::ThresholdMatrix matrix =
        c.width == 16 && c.height == 16
            ? permutationMatrix16()
            : pack::makeThresholdMatrix(c.width, c.height, [](auto, auto) { return 1; });
    matrix.bytesPerCell = c.bytesPerCell;
    job.lut.scaleParams[1] = c.fullInkGain;
    job.setOldGrid(c.levels);
    std::vector<Block> blocks = job.standardBlocks(matrix);
    FaultPlan plan;
    ScopedFaultPlan scope(plan);
    ASSERT_EQ(runUpToStageThree(job, blocks), kOk);
    const int64_t live = plan.liveAllocations;
    EXPECT_EQ(job.stage(blocks[2]), kBadResource) << c.name;
    EXPECT_EQ(job.nextId, -1) << c.name << ": next id written first";
    EXPECT_EQ(plan.liveAllocations, live) << c.name;
    EXPECT_EQ(job.context->matrixWidth, 0u) << c.name;
  }
}

TEST(MatrixStage, TwoBitNeedsAWellFormedStageFourRecord) {
  struct Case {
    const char* name;
    std::vector<uint8_t> record;
    Status status;
    int32_t next;
  };
  const Case cases[] = {
      {"good", pack::buildStageFourIdRecord({1, 1, 500}), kOk, 500},
      {"sign-extended id", pack::buildStageFourIdRecord({1, 1, 0x8001}), kOk, -32767},
      {"zero word", pack::buildStageFourIdRecord({0, 1, 500}), kBadResource, 0},
      {"version 2", pack::buildStageFourIdRecord({7, 2, 500}), kBadResource, 0},
  };
  for (const Case& c : cases) {
    Job job;
    job.mode.bitsPerPixel = 2;
    job.extra = c.record;
    std::vector<Block> blocks = job.standardBlocks(permutationMatrix16());
    ASSERT_EQ(runUpToStageThree(job, blocks), kOk);
    job.nextId = 0;
    EXPECT_EQ(job.stage(blocks[2]), c.status) << c.name;
    EXPECT_EQ(job.nextId, c.next) << c.name;
  }
}

// ----------------------------------------------------------------- stage 4

TEST(DotTableStage, RowSumsUpTo255AreAccepted) {
  for (uint8_t large : {55, 56}) {
    Job job;
    job.mode.bitsPerPixel = 2;
    job.mode.xResolution = job.mode.yResolution = 1440;
    job.dotShares[200] = {100, 100, large};
    ASSERT_EQ(job.runAll(job.standardBlocks(permutationMatrix16())),
              large == 55 ? kOk : kBadResource);
    EXPECT_EQ(job.nextId, -1);
    const auto* table = static_cast<const uint8_t*>(job.context->blocks[kDotTableBlock].data);
    EXPECT_EQ(table[3 * 200 + 2], large) << "the refused row is copied too";
    EXPECT_EQ(table[3 * 199 + 2], job.dotShares[199][2]);
  }
}

TEST(DotTableStage, AFourthCallAfterOneBitStageThreeIsRefusedAndStageFiveAlways) {
  Job job;
  ASSERT_EQ(job.runAll(job.standardBlocks(permutationMatrix16())), kOk);
  ASSERT_EQ(job.nextId, -1);
  const auto* gridIndex = static_cast<const uint8_t*>(job.context->blocks[kGridIndexBlock].data);
  std::vector<uint8_t> gridIndexBefore(gridIndex, gridIndex + 512);
  const Block table = pack::buildDotSizeTable(job.dotShares);
  job.nextId = 3;
  EXPECT_EQ(job.stage(table), kBadResource);
  EXPECT_EQ(job.nextId, 3);
  EXPECT_EQ(job.context->blocks[kDotTableBlock].data, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(gridIndex, gridIndex + 512), gridIndexBefore);
  EXPECT_EQ(job.stage(table), kBadResource);
  EXPECT_EQ(job.context->stage, 5u);
}

// ------------------------------------------------------ allocation failures

struct Sequence {
  const char* name;
  uint32_t mode, bits, xResolution, lineWidth;
  bool colour;
  std::vector<uint8_t> levels;  // of the old grid

  void setUp(Job& j) const {
    if (colour) j.colour();
    j.mode.mode = mode;
    j.mode.bitsPerPixel = bits;
    j.mode.xResolution = xResolution;
    j.mode.lineWidth = lineWidth;
    j.setOldGrid(levels);
  }
};

const Sequence kSequences[] = {
    {"one-bit grey mode 1", 1, 1, 720, 64, false, {0, 255}},
    {"one-bit colour, four separate lines", 1, 1, 720, 20000, true, {0, 255}},
    {"two-bit grey mode 3", 3, 2, 720, 64, false, {0, 255}},
    {"two-bit colour mode 1 at 1440 x 720", 1, 2, 1440, 64, true, {0, 128, 255}},
    {"mode 0 colour corners", 0, 1, 720, 64, true, {0, 255}},
};

TEST(StageAllocationFailures, EveryFailedAllocationOrLockReleasesEverything) {
  for (const Sequence& seq : kSequences) {
    uint32_t allocations = 0;
    {
      Job job;
      seq.setUp(job);
      FaultPlan plan;
      ScopedFaultPlan scope(plan);
      ASSERT_EQ(job.runAll(job.standardBlocks(permutationMatrix16())), kOk) << seq.name;
      allocations = plan.callsOf(Operation::kAllocate);
    }
    ASSERT_GE(allocations, 4u) << seq.name;
    for (Operation op : {Operation::kAllocate, Operation::kLock}) {
      const Status expected = op == Operation::kAllocate ? kAllocFailed : kLockFailed;
      for (uint32_t n = 1; n <= allocations; ++n) {
        SCOPED_TRACE(::testing::Message() << seq.name << " failing #" << n);
        FaultPlan plan;
        ScopedFaultPlan scope(plan);
        plan.failOn(op, n);
        {
          Job job;
          seq.setUp(job);
          EXPECT_EQ(job.runAll(job.standardBlocks(permutationMatrix16())), expected);
          if (n == 1) {  // the context itself: the first id is written all the same
            EXPECT_EQ(job.context, nullptr);
            EXPECT_EQ(job.nextId, job.lut.resourceCode);
            EXPECT_EQ(plan.liveAllocations, 0);
            continue;
          }
          EXPECT_EQ(plan.liveAllocations, 1) << "only the context";
          for (const MemoryBlock& b : job.context->blocks) EXPECT_EQ(b.allocation, nullptr);
          EXPECT_EQ(HalftoneDelete(job.context), kOk);
          job.context = nullptr;
        }
        EXPECT_EQ(plan.liveAllocations, 0);
      }
    }
  }
}

}  // namespace
}  // namespace kestrl::halftone::testing
