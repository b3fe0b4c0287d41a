// The four-level colour engines and the mode-3 colour screening engines,
// against the plain reference, through the exported calls.
#include <gtest/gtest.h>

#include <random>

#include "halftone/support/colour_engine_reference.h"
#include "halftone/support/halftone_job.h"
#include "pack/default_pack.h"

namespace kestrl::halftone::testing::colour_engines {
namespace {

constexpr uint32_t kWidth = 300;
constexpr uint32_t kStride = kWidth / 4 + 4;

struct EngineCase {
  EngineId id;
  uint32_t mode, bits, colorMethod, x, y, matrixSide, errorLines;
};

using enum EngineId;
const EngineCase kEngines[] = {
    {kDiffuseFourLevel, 1, 2, 0, 720, 720, 64, 3},
    {kDiffuseFourLevel1440, 1, 2, 0, 1440, 720, 32, 3},
    {kScreenColorBilevel, 3, 1, 1, 720, 720, 16, 0},
    {kScreenColorBilevelDiffused, 3, 1, 2, 720, 720, 32, 1},
    {kDitherColorFourLevel, 3, 2, 1, 720, 720, 16, 0},
};

// A light, patchy old grid (channel bytes often 0) and a dot table with small
// dots alone at light levels, some levels none at all; a random matrix.
Status openJob(Job& job, const EngineCase& e, uint32_t inkSet, int32_t step, std::mt19937& random) {
  job.colour(inkSet);
  job.mode.mode = e.mode, job.mode.bitsPerPixel = e.bits, job.mode.colorMethod = e.colorMethod;
  job.mode.xResolution = e.x, job.mode.yResolution = e.y;
  job.mode.sourceStep = step, job.mode.lineWidth = kWidth;
  job.setOldGrid({0, 40, 80, 120, 160, 200, 230, 255});
  for (uint8_t& b : job.grid)
    b = static_cast<uint8_t>(random() % 3 == 0 ? 0 : random() % 2 ? 32 : random() % 256);
  for (int l = 0; l < 256; ++l) {
    const int small = l % 17 == 0 || l < 6 ? 0 : l < 90 ? l / 4 : std::max(0, 22 - (l - 90) / 4);
    job.dotShares[l] = {uint8_t(small), uint8_t(l < 50 ? 0 : std::min(l - 50, 100)),
                        uint8_t(l < 120 ? 0 : l - 120)};
  }
  job.dotShares[32] = {0, 0, 255};  // the faintest level a closing pixel keeps prints
  const uint32_t side = e.matrixSide;
  return job.runAll(job.standardBlocks(pack::makeThresholdMatrix(
      side, side, [&](uint32_t, uint32_t) {  // often the top cell, where ranges meet
        return random() % 4 == 0 ? side * side - 1 : random() % (side * side);
      })));
}

// The same print mode with every resource from the default pack.
Status openPackJob(Job& job, const EngineCase& e) {
  static const pack::Pack pack = pack::makeDefaultPack();
  job.mode = PrintMode{e.mode, e.colorMethod, 1, 1, e.x, e.y, e.bits, 0, 0, kWidth, 0};
  return job.openFrom(pack);
}

// Runs of one colour (three or four bytes a pixel), some of them blank.
std::vector<uint8_t> photoSource(std::mt19937& random, uint32_t pixels, uint32_t bytes) {
  std::vector<uint8_t> source(bytes * pixels), pixel(bytes);
  for (uint32_t i = 0; i < pixels; ++i) {
    const uint32_t pick = i == 0 || random() % 7 == 0 ? random() % 8 : 9;
    for (uint8_t& b : pixel)
      if (pick < 9)
        b = uint8_t(pick == 0 ? (bytes == 3 ? 255 : 0) : pick < 4 ? 180 + random() % 76 : random());
    std::copy(pixel.begin(), pixel.end(), source.begin() + bytes * i);
  }
  return source;
}

// Every engine over a page, for each ink set and source step and once with
// the default pack.
TEST(ColourEngines, PagesMatchThePlainReference) {
  const std::vector<PlannedRun> plan = pagePlan(kWidth);
  const struct {
    uint32_t inkSet;
    int32_t step;
    bool pack;
  } variants[] = {{1, 0, false}, {1, 1, false},  {1, -1, false}, {4, 0, false},
                  {4, 1, false}, {4, -1, false}, {1, 0, true}};
  for (const EngineCase& e : kEngines) {
    for (const auto& v : variants) {
      SCOPED_TRACE(::testing::Message() << engineName(e.id) << " inkSet " << v.inkSet << " step "
                                        << v.step << (v.pack ? " default pack" : ""));
      std::mt19937 random(v.inkSet * 10 + v.step + 7);
      Job job;
      ASSERT_EQ(v.pack ? openPackJob(job, e) : openJob(job, e, v.inkSet, v.step, random), kOk);
      ColourState ref(kWidth);
      std::array<std::array<uint32_t, 4>, 4> counts{};
      for (const auto& [line, startX, count] : plan) {
        SCOPED_TRACE(::testing::Message() << "line " << int32_t(line) << " at " << startX);
        const auto source = photoSource(random, count, v.inkSet == 4 ? 4 : 3);
        const uint32_t bitOffset = (line + startX) % (8 / e.bits);
        std::vector<uint8_t> out(4 * kStride);
        for (uint8_t& b : out) b = static_cast<uint8_t>(random());
        std::vector<uint8_t> expected = out;
        const Planes planes = refColourRun(e.id, job.context->setup.tables, job.mode, ref,
                                           source.data(), startX, count, line);
        for (int k = 0; k < 4; ++k) {
          const auto plane = expected.begin() + k * kStride;
          const auto packed = packByHand({plane, plane + kStride}, planes[k], bitOffset, e.bits);
          std::copy(packed.begin(), packed.end(), plane);
        }
        ASSERT_EQ(job.halftone(source.data(), out.data(), count, startX, line, bitOffset, kStride),
                  kOk);
        EXPECT_EQ(out, expected);
        for (uint32_t k = 0; k < e.errorLines; ++k)
          EXPECT_TRUE(std::equal(ref.lines[k].begin(), ref.lines[k].end(),
                                 job.context->setup.tables.errorLines[k].withMargins.begin()));
        EXPECT_EQ(job.context->lastLine, line);
        EXPECT_EQ(job.context->lastRunEnd, e.errorLines == 3 ? ref.lastRunEnd : 0u);
        for (int k = 0; k < 4; ++k)
          for (uint32_t c : planes[k]) ++counts[k][c];
        if (HasFailure()) return;
      }
      for (int k = 0; k < 4 && !v.pack; ++k)  // every code in every plane
        for (uint32_t c = 0; c < (1u << e.bits); ++c) EXPECT_GT(counts[k][c], 10u) << k << c;
    }
  }
}

// Every refusal writes nothing and leaves the context's run record alone.
TEST(ColourEngines, RefusalsWriteNothing) {
  enum Fault { kPastLine, kReserved9, kThreeInkGrid, kNoErrorLine };
  const Status expected[] = {kRunOutsideLine, kReserved9NotZero, kBadResource, kBadParameter};
  for (const EngineCase& e : kEngines) {
    for (Fault fault : {kPastLine, kReserved9, kThreeInkGrid, kNoErrorLine}) {
      if (fault == kNoErrorLine && e.errorLines == 0) continue;
      std::mt19937 random(1);
      Job job;
      if (fault == kThreeInkGrid) job.lut.channelCount = 3;
      EngineCase c = e;
      if (fault == kNoErrorLine) c.mode = 3, c.colorMethod = 1;
      ASSERT_EQ(openJob(job, c, 1, 0, random), kOk);
      RunState state = {70, 9};
      const std::vector<uint8_t> source(4 * kWidth, 9);
      std::vector<uint8_t> out(4 * kStride, 0x5A);
      const uint32_t count = fault == kPastLine ? kWidth - 9 : 11, reserved9 = fault == kReserved9;
      const HalftoneRun run{source.data(), out.data(), kStride, 1, count, 10, 0, 71, reserved9, 0};
      EXPECT_EQ(engineDescriptor(e.id).variant(job.mode)(job.context->setup.tables, state, run),
                expected[fault])
          << engineName(e.id) << " " << fault;
      EXPECT_EQ(out, std::vector<uint8_t>(4 * kStride, 0x5A)) << engineName(e.id);
      EXPECT_EQ(std::pair(state.lastLine, state.lastRunEnd), std::pair(70u, 9u))
          << engineName(e.id);
    }
  }
}

}  // namespace
}  // namespace kestrl::halftone::testing::colour_engines
