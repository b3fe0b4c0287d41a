// The one-bit colour diffusion engines against the plain reference, their
// refusals, and the error-line upkeep rule the reference relies on.
#include <gtest/gtest.h>

#include <numeric>

#include "halftone/engines/bilevel_colour_loop.h"
#include "halftone/support/colour_reference.h"

namespace kestrl::halftone {
namespace {

using namespace testing;
using namespace diffusion;
using enum EngineId;

constexpr uint32_t kWidth = 300, kStride = kWidth / 8 + 2;

// Every engine, source step and kind, selected by Halftone from the stages'
// tables (last limit 99: as set; 0 for one cached case): after every run the
// planes (bytes around untouched), lines with margins and run memory match.
TEST(DiffuseBilevel, PagesMatchThePlainReference) {
  const std::tuple<EngineId, uint32_t, uint32_t, uint32_t, int32_t, uint32_t, uint32_t> cases[] = {
      {kDiffuseBilevel, 720, 720, 4, 0, 1, 99},
      {kDiffuseBilevel, 720, 360, 1, -1, 1, 99},
      {kDiffuseBilevel1440, 1440, 720, 4, 0, 1, 99},
      {kDiffuseBilevel1440, 1440, 720, 4, 1, 1, 99},
      {kDiffuseBilevelCached, 720, 360, 1, 1, 1, 99},
      {kDiffuseBilevelCached, 720, 720, 2, 0, 2, 99},
      {kDiffuseBilevelCached, 720, 720, 1, 0, 1, 0},
      {kDiffuseBilevelCached1440, 1440, 720, 1, 0, 1, 99},
      {kDiffuseBilevelCached1440, 1440, 720, 1, 1, 2, 99},
      {kDiffuseBilevelDoubleVertical, 360, 720, 1, 0, 1, 99},
      {kDiffuseBilevelDoubleVertical, 360, 720, 4, 1, 1, 99},
  };
  for (auto [id, x, y, inkSet, step, input, lastLimit] : cases) {
    Job job;
    ASSERT_EQ(makeColourJob(job, x, y, inkSet, step, input, kWidth), kOk);
    ASSERT_EQ(job.context->setup.engineId, id);
    if (lastLimit != 99) job.context->spreadLimit4 = lastLimit;
    prepareEngine(*job.context, true);
    ColourState ref(kWidth);
    std::mt19937 random(11);
    for (const PlannedRun& r : pagePlan(kWidth)) {
      const auto src = photoSource(random, r.count + 1, inkSet == 4 ? 4 : 3);
      const uint32_t off = (r.startX + r.line) % 8;  // bit offset
      std::vector<uint8_t> out(4 * kStride, 0xA5), expected = out;
      const auto planes = refColourRun(job.context->setup.tables, job.mode, id, ref, src.data(),
                                       r.startX, r.count, r.line);
      for (uint32_t k = 0; k < (input == 2 ? 3u : 4u); ++k) {  // input 2: cached cases only
        const auto at = expected.begin() + k * kStride;
        std::ranges::copy(packByHand({at, at + kStride}, planes[k], off, 1), at);
      }
      SCOPED_TRACE(::testing::Message() << engineName(id) << inkSet << step << " " << r.line);
      ASSERT_EQ(job.halftone(src.data(), out.data(), r.count, r.startX, r.line, off, kStride), kOk);
      ASSERT_EQ(out, expected);
      for (int k = 0; k < 3; ++k)
        ASSERT_TRUE(std::ranges::equal(lineOf(job.context->setup.tables, k), ref.lines[k]));
      ASSERT_EQ(job.context->lastLine + job.context->lastRunEnd, r.line + r.startX + r.count);
    }
  }
}

// Refusals change nothing (output, lines, run memory); 256 columns pass.
TEST(DiffuseBilevel, RefusalsWriteNothing) {
  enum Spoil { kPastLine, kReserved9, kOneLine, kNoGrid, kSmallGrid, kNoIndex, kNoMatrix, kWide };
  const std::tuple<EngineId, Spoil, Status> cases[] = {
      {kDiffuseBilevel, kPastLine, kRunOutsideLine},
      {kDiffuseBilevel1440, kReserved9, kReserved9NotZero},
      {kDiffuseBilevelCached, kOneLine, kBadParameter},
      {kDiffuseBilevelCached1440, kNoGrid, kBadResource},
      {kDiffuseBilevelDoubleVertical, kSmallGrid, kBadResource},
      {kDiffuseBilevel1440, kNoIndex, kBadResource},
      {kDiffuseBilevelCached, kNoMatrix, kBadResource},
      {kDiffuseBilevelCached, kWide, kBadResource},
  };
  const std::vector<uint8_t> src(3 * kWidth, 30);
  for (auto [engine, spoil, expected] : cases) {
    Job job;
    ASSERT_EQ(makeColourJob(job, 720, 720, 1, 0, 1, kWidth), kOk);
    const EngineTables& made = job.context->setup.tables;
    RunState state = {14, 9};
    for (uint32_t k = 0; k < 3; ++k) std::ranges::fill(lineOf(made, k), int16_t{77});
    std::vector<uint8_t> out(4 * kStride, 0x5A);
    HalftoneRun run{src.data(), out.data(), kStride, 3, 20, 10, 0, 15, 0, 0};
    run.pixelCount += spoil == kPastLine ? kWidth : 0;
    run.reserved9 = spoil == kReserved9;
    EngineTables t = made;
    if (spoil == kOneLine) t.errorLines[1] = t.errorLines[2] = {};
    if (spoil == kNoGrid) t.colorGrid = {};
    if (spoil == kSmallGrid) t.colorGrid = t.colorGrid.first(32 * 32 * 32 * 3);
    if (spoil == kNoIndex) t.gridIndex = {};
    if (spoil == kNoMatrix) t.thresholdMatrix = {};
    t.matrixWidth = spoil == kWide ? 257 : 32;
    EXPECT_EQ(callEngine(t, state, job.mode, engine, run), expected)
        << engineName(engine) << " " << spoil;
    EXPECT_EQ(out, std::vector<uint8_t>(4 * kStride, 0x5A));
    EXPECT_EQ(state.lastLine + state.lastRunEnd, 14u + 9u);
    for (uint32_t k = 0; k < 3; ++k)
      EXPECT_EQ(std::ranges::count(lineOf(made, k), 77), kWidth + 60);
    t = made;
    t.matrixWidth = 256, t.matrixHeight = 4;
    EXPECT_EQ(callEngine(t, state, job.mode, engine,
                         {src.data(), out.data(), kStride, 0, 8, 0, 0, 0, 0, 0}),
              kOk);
  }
}

// Upkeep rules: previous line and run end, this line and start; width 1000.
TEST(ColourDiffusion, ErrorLineUpkeepRules) {
  const uint32_t minus1 = kRestartLine;
  const std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, CellInterval> cases[] = {
      {10, 1000, 12, 0, {0, 1000}},          // a line skipped: everything
      {5, 300, minus1, 0, {0, 1000}},        // line -1 after an ordinary line
      {minus1 - 1, 300, minus1, 4, {0, 4}},  // line -1 after -2: only rule 2
      {minus1, 300, 0, 0, {300, 1000}},      // line 0 after -1 is the next line
      {14, 500, 15, 40, {0, 40}},            // a sixteenth line not starting at 0
      {31, 100, 31, 200, {100, 200}},        // a gap on a sixteenth line
      {31, 300, 31, 200, {}},                // a run overlapping the last one
      {31, 1000, 31, 60, {0, 60}},           // a full line counts as ending at 0
      {31, 300, 32, 0, {300, 1000}},         // the tail before a first line of sixteen
      {31, 1000, 32, 0, {}},                 // no tail after a run to the line's end
      {40, 300, 3, 0, {}},                   // a jump back: a new page clears nothing
  };
  for (auto [prevLine, prevEnd, line, startX, expected] : cases) {
    EXPECT_EQ(errorCellsToClear(prevLine, prevEnd, line, startX, 1000), expected)
        << prevLine << " " << line;
  }
}

// The last pixel of an odd run on the edges of its four comparisons: shares
// one below, at and one above the matrix value m and its flip 255 - m.
TEST(ColourDiffusion, LastPixelOnItsEdges) {
  std::array<uint16_t, 256> sameLevel;
  std::iota(sameLevel.begin(), sameLevel.end(), uint16_t{0});
  const uint16_t m = 100;
  for (uint8_t a0 : {0, 1})
    for (uint8_t a1 : {154, 155, 156})
      for (uint8_t a2 : {0, 1})
        for (uint8_t a3 : {99, 100, 101}) {
          const uint8_t inks[4] = {a0, a1, a2, a3};
          const uint32_t dots = closingDots({loadLevels(inks), m, 255 - m}, sameLevel.data());
          const int32_t shares[4] = {a0, a1, a2, a3};
          const auto expected = cornerDots(shares, m, 255, true);
          for (int k = 0; k < 4; ++k)
            EXPECT_EQ((dots >> k) & 1, expected[k])
                << k << ": " << +a0 << " " << +a1 << " " << +a2 << " " << +a3;
        }
}

}  // namespace
}  // namespace kestrl::halftone
