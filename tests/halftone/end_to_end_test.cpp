// Whole jobs through the exported calls: HalftoneNew, the resource stages,
// Halftone on grey ramps and on colour, HalftoneDelete.
#include <gtest/gtest.h>

#include <vector>

#include "halftone/support/corner_reference.h"
#include "halftone/support/halftone_job.h"
#include "halftone/support/test_context.h"

namespace kestrl::halftone::testing {
namespace {

constexpr uint32_t kWidth = 64;

// The matrix cell of the permutation matrix at column x of line `line`.
uint32_t cellAt(uint32_t x, uint32_t line) {
  return ((line % 16) * 16 + x % 16) * 37 % 256;
}

TEST(EndToEnd, ModeZeroColourProducesFourPlanesFromTheGridCorners) {
  Job job;
  job.colour();
  job.mode.mode = 0;
  job.mode.lineWidth = kWidth;
  job.setOldGrid({0, 100, 255});
  ASSERT_EQ(job.runAll(job.standardBlocks(permutationMatrix16())), kOk);
  ASSERT_EQ(job.nextId, -1);
  // The corner grid holds the old grid's corner nodes (index 0 or 2).
  std::vector<uint8_t> corners;
  for (int node = 0; node < 8; ++node) {
    for (uint32_t k = 0; k < 4; ++k) {
      corners.push_back(Job::nodeByte(node & 4 ? 2 : 0, node & 2 ? 2 : 0, node & 1 ? 2 : 0, k));
    }
  }
  std::vector<int32_t> dv(256);
  for (int i = 0; i < 256; ++i) dv[i] = refDotValue(250, 100, i);
  const std::vector<int32_t> levels = refLevels(256, dv);  // no tone curve for colour
  const std::vector<uint16_t> level(levels.begin(), levels.end());
  std::vector<uint16_t> cells(256);
  for (uint32_t i = 0; i < 256; ++i) cells[i] = static_cast<uint16_t>(cellAt(i % 16, i / 16));
  std::vector<uint8_t> source(3 * kWidth);
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 89 % 256);
  constexpr uint32_t kStride = kWidth / 8;
  for (uint32_t line = 0; line < 16; ++line) {
    const uint32_t count = kWidth - 1;  // odd: the last pixel has its own rules
    std::vector<uint8_t> out(4 * kStride, 0);
    ASSERT_EQ(job.halftone(source.data(), out.data(), count, 0, line, 0, kStride), kOk);
    const Planes planes =
        referenceCorners(job.mode, cells, 16, 16, level, corners, source.data(), 0, count, line);
    int printed = 0;
    for (int k = 0; k < 4; ++k) {
      const std::vector<uint8_t> plane(out.begin() + k * kStride, out.begin() + (k + 1) * kStride);
      EXPECT_EQ(plane, packByHand(std::vector<uint8_t>(kStride), planes[k], 0, 1)) << k;
      for (uint8_t b : plane) printed += std::popcount(b);
    }
    EXPECT_GT(printed, 0);
  }
}

// A grey job in every mode and output depth: paper white never prints and
// darker tones print more (strictly so where error is spread); a mode with no
// error line or no engine for the depth is refused.
TEST(EndToEnd, DarkerGreyPrintsMoreInEveryMode) {
  struct Case {
    uint32_t mode, bits, x, y;
    Status expected;
    bool strictlyMore;
  };
  const Case cases[] = {
      {1, 1, 720, 720, kOk, true},
      {1, 1, 1440, 720, kOk, true},
      {1, 1, 360, 720, kOk, true},
      {4, 1, 720, 360, kOk, true},
      {0, 1, 720, 720, kOk, false},
      {3, 1, 720, 720, kOk, false},
      {2, 1, 720, 720, kBadParameter, true},
      {1, 2, 720, 720, kOk, true},
      {1, 2, 1440, 720, kOk, true},
      {3, 2, 720, 720, kOk, true},
      {0, 2, 720, 720, kUnsupportedMode, true},
      {2, 2, 720, 720, kUnsupportedMode, true},
  };
  const uint32_t width = 400;
  for (const Case& c : cases) {
    const std::string where = "mode " + std::to_string(c.mode) + " bits " + std::to_string(c.bits);
    Job job;
    job.mode.mode = c.mode;
    job.mode.bitsPerPixel = c.bits;
    job.mode.xResolution = c.x;
    job.mode.yResolution = c.y;
    job.mode.lineWidth = width;
    ASSERT_EQ(job.runAll(job.standardBlocks(permutationMatrix16())), kOk) << where;
    uint32_t previous = 0;
    for (uint8_t value : {255, 200, 120, 40, 0}) {
      const std::vector<uint8_t> source(2 * width, value);
      uint32_t ink = 0;
      for (uint32_t line = 0; line < 16; ++line) {
        std::vector<uint8_t> out(width / 4 + 1);
        ASSERT_EQ(job.halftone(source.data(), out.data(), width, 0, line), c.expected) << where;
        for (uint32_t bit = 0; bit < width * c.bits; bit += c.bits)
          ink += (out[bit / 8] >> (8 - c.bits - bit % 8)) & ((1u << c.bits) - 1);
      }
      if (c.expected != kOk) break;
      if (value == 255) {
        EXPECT_EQ(ink, 0u) << where;
      }
      if (value != 255 && c.strictlyMore) {
        EXPECT_GT(ink, previous) << where << " value " << +value;
      }
      EXPECT_GE(ink, previous) << where << " value " << +value;
      previous = ink;
    }
  }
}

// A job whose stages did not all succeed (or are not all done) is refused
// with kBadResource and nothing written, even where a failed stage left
// tables behind; a job without error lines is refused for those first.
TEST(EndToEnd, AJobWhoseStagesDidNotAllSucceedIsRefused) {
  struct Case {
    const char* name;
    uint32_t mode, bits;
    void (*spoil)(Job&, std::vector<Block>&);
    Status failedStage, expected;
  };
  const Case cases[] = {
      {"dot table row over 255", 3, 2, [](Job&, std::vector<Block>& b) { b[3][3 * 200] = 255; },
       kBadResource, kBadResource},
      {"unknown ink gain", 3, 1, [](Job& j, std::vector<Block>&) { j.lut.scaleParams[0] = 300; },
       kBadResource, kBadResource},
      {"screening, unknown ink gain", 1, 1,
       [](Job& j, std::vector<Block>&) { j.lut.scaleParams[0] = 300; }, kBadResource, kBadResource},
      {"no error line, unknown ink gain", 2, 1,
       [](Job& j, std::vector<Block>&) { j.lut.scaleParams[0] = 300; }, kBadResource,
       kBadParameter},
      {"stage 3 not run", 3, 1, [](Job&, std::vector<Block>& b) { b.pop_back(); }, kOk,
       kBadResource},
      {"two-bit, stage 4 not run", 3, 2, [](Job&, std::vector<Block>& b) { b.pop_back(); }, kOk,
       kBadResource},
  };
  for (const Case& c : cases) {
    Job job;
    job.mode.mode = c.mode;
    job.mode.bitsPerPixel = c.bits;
    job.mode.lineWidth = kWidth;
    std::vector<Block> blocks = job.standardBlocks(permutationMatrix16());
    c.spoil(job, blocks);
    EXPECT_EQ(job.runAll(blocks), c.failedStage) << c.name;
    for (size_t k = job.context->stage; k < blocks.size(); ++k) job.stage(blocks[k]);
    const std::vector<uint8_t> source(kWidth, 100);
    std::vector<uint8_t> out(kWidth / 4, 0x3C);
    EXPECT_EQ(job.halftone(source.data(), out.data(), kWidth, 0, 1), c.expected) << c.name;
    EXPECT_EQ(out, std::vector<uint8_t>(kWidth / 4, 0x3C)) << c.name;
  }
}

}  // namespace
}  // namespace kestrl::halftone::testing
