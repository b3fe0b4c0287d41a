// Whole jobs through the exported calls: HalftoneNew, the resource stages,
// Halftone, HalftoneDelete.
#include <gtest/gtest.h>

#include <vector>

#include "halftone/support/halftone_job.h"

namespace kestrl::halftone::testing {
namespace {

constexpr uint32_t kWidth = 64;

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
      {"two-bit at 720 x 360 (stage 4 still taken)", 1, 2,
       [](Job& j, std::vector<Block>&) { j.mode.yResolution = 360; }, kBadParameter, kBadResource},
  };
  for (const Case& c : cases) {
    Job job;
    job.mode.mode = c.mode;
    job.mode.bitsPerPixel = c.bits;
    job.mode.lineWidth = kWidth;
    std::vector<Block> blocks = job.standardBlocks(permutationMatrix16());
    c.spoil(job, blocks);
    EXPECT_EQ(job.runAll(blocks), c.failedStage) << c.name;
    for (size_t k = job.context->stage; k < blocks.size(); ++k) {
      EXPECT_EQ(job.stage(blocks[k]), kOk) << c.name << ": the stages after go on";
    }
    const std::vector<uint8_t> source(kWidth, 100);
    std::vector<uint8_t> out(kWidth / 4, 0x3C);
    EXPECT_EQ(job.halftone(source.data(), out.data(), kWidth, 0, 1), c.expected) << c.name;
    EXPECT_EQ(out, std::vector<uint8_t>(kWidth / 4, 0x3C)) << c.name;
  }
}

}  // namespace
}  // namespace kestrl::halftone::testing
