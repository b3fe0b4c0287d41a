// The one-bit colour diffusion engines against the plain reference and each
// other, their refusals, and the machinery where it turns.
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

// A photograph-like run: smooth ramps with grain and jumps, white pixels
// and, for four-ink sources, stretches where one ink is 0.
std::vector<uint8_t> photoSource(std::mt19937& random, uint32_t pixels, uint32_t bytes) {
  std::vector<uint8_t> s(pixels * bytes);
  int base[4] = {40, 120, 200, 90};
  for (uint32_t i = 0; i < pixels; ++i) {
    for (uint32_t k = 0; k < bytes; ++k) {
      base[k] = std::clamp(base[k] + int(random() % 7) - 3 + (random() % 90 == 0 ? 99 : 0), 0, 255);
      s[i * bytes + k] = static_cast<uint8_t>(std::clamp(base[k] + int(random() % 9) - 4, 0, 255));
    }
    if (random() % 16 == 0) std::fill_n(&s[i * bytes], bytes, bytes == 3 ? 255 : 0);
    if (bytes == 4 && (i / 16) % 5 == 1) s[i * bytes + (i / 80) % 4] = 0;
  }
  return s;
}

struct PlannedRun {
  uint32_t line, startX, count;
};

// Line -1, split lines, gaps and tails at the clearing lines, skipped lines, a
// jump back, empty runs at bit offsets 0 and 1, runs of 1 and 3 pixels.
std::vector<PlannedRun> pagePlan() {
  std::vector<PlannedRun> plan = {{kRestartLine, 0, kWidth}};
  for (uint32_t line = 0; line < 36; ++line) {
    if (line % 16 == 15) plan.insert(plan.end(), {{line, 0, 101}, {line, 180, 120}});
    if (line % 4 == 0) plan.push_back({line, 0, kWidth});
    if (line % 4 == 1)
      plan.insert(plan.end(), {{line, 0, 97 + line}, {line, 97 + line, 203 - line}});
    if (line % 4 > 1 && line % 16 != 15) plan.push_back({line, 20 + line, 151 + line % 2});
  }
  plan.insert(plan.end(), {{40, 0, 0}, {40, 3, 200}, {41, 8, 0}, {6, 0, 57}, {7, 5, 280}});
  for (uint32_t x = 0; x < kWidth; x += 3) plan.push_back({42, x, x % 2 == 0 ? 3u : 1u});
  return plan;
}

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
    for (const PlannedRun& r : pagePlan()) {
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
        ASSERT_TRUE(std::ranges::equal(lineOf(*job.context, k), ref.lines[k]));
      ASSERT_EQ(job.context->lastLine + job.context->lastRunEnd, r.line + r.startX + r.count);
    }
  }
}

// Same sources (inkSet 1, step 0): the cached engines leave the planes and
// lines of the plain ones, except at 1440 in runs where a plane went idle
// holding a carry (the reference counts those).
TEST(DiffuseBilevel, CachedEnginesMatchThePlainOnes) {
  for (auto [plain, cached, x] :
       {std::tuple{kDiffuseBilevel, kDiffuseBilevelCached, 720u},
        std::tuple{kDiffuseBilevel1440, kDiffuseBilevelCached1440, 1440u}}) {
    Job a, b;
    ASSERT_EQ(makeColourJob(a, x, 720, 1, 0, 1, kWidth), kOk);
    ASSERT_EQ(makeColourJob(b, x, 720, 1, 0, 1, kWidth), kOk);
    ColourState witness(kWidth);
    std::mt19937 random(5);
    int differing = 0;
    for (int page = 0; page < 6; ++page) {
      for (const PlannedRun& r : pagePlan()) {
        const auto source = photoSource(random, r.count + 1, 3);
        std::vector<uint8_t> outA(4 * kStride, 0x3C), outB = outA;
        const int before = witness.idlesWithPendingCarry;
        refColourRun(a.context->setup.tables, a.mode, kDiffuseBilevel1440, witness, source.data(),
                     r.startX, r.count, r.line);
        HalftoneRun run{source.data(), outA.data(), kStride, 3, r.count, r.startX, 0, r.line, 0, 0};
        ASSERT_EQ(callEngine(*a.context, plain, run), kOk);
        run.destination = outB.data();
        ASSERT_EQ(callEngine(*b.context, cached, run), kOk);
        bool same = outA == outB;
        for (int k = 0; k < 3; ++k) {  // compared, then made equal again
          same = same && std::ranges::equal(lineOf(*a.context, k), lineOf(*b.context, k));
          std::ranges::copy(lineOf(*a.context, k), lineOf(*b.context, k).begin());
        }
        EXPECT_TRUE(same || (x == 1440 && witness.idlesWithPendingCarry != before)) << r.line;
        differing += !same;
      }
    }
    EXPECT_EQ(differing > 0, x == 1440);  // at 1440 the difference is real
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
    HalftoneContext& c = *job.context;
    c.lastLine = 14, c.lastRunEnd = 9;
    for (int k = 0; k < 3; ++k) std::ranges::fill(lineOf(c, k), int16_t{77});
    std::vector<uint8_t> out(4 * kStride, 0x5A);
    HalftoneRun run{src.data(), out.data(), kStride, 3, 20, 10, 0, 15, 0, 0};
    const auto saved = std::to_array(c.blocks);
    run.pixelCount += spoil == kPastLine ? kWidth : 0;
    run.reserved9 = spoil == kReserved9;
    c.bufferCount = spoil == kOneLine ? 1 : 4;
    if (spoil == kNoGrid) c.blocks[kCurveOrGridBlock].data = nullptr;
    if (spoil == kSmallGrid) c.blocks[kCurveOrGridBlock].size = 32 * 32 * 32 * 3;
    if (spoil == kNoIndex) c.blocks[kGridIndexBlock].data = nullptr;
    if (spoil == kNoMatrix) c.blocks[kThresholdMatrixBlock].data = nullptr;
    c.matrixWidth = spoil == kWide ? 257 : 32;
    EXPECT_EQ(callEngine(c, engine, run), expected) << engineName(engine) << " " << spoil;
    EXPECT_EQ(out, std::vector<uint8_t>(4 * kStride, 0x5A));
    EXPECT_EQ(c.lastLine + c.lastRunEnd, 14u + 9u);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(std::ranges::count(lineOf(c, k), 77), kWidth + 60);
    std::ranges::copy(saved, c.blocks);  // released with the context
    c.matrixWidth = 256, c.matrixHeight = 4, c.bufferCount = 4;
    EXPECT_EQ(callEngine(c, engine, {src.data(), out.data(), kStride, 0, 8, 0, 0, 0, 0, 0}), kOk);
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
      {40, 300, 3, 0, {}},                   // a jump back: a new page clears nothing
  };
  for (auto [prevLine, prevEnd, line, startX, expected] : cases) {
    EXPECT_EQ(errorCellsToClear(prevLine, prevEnd, line, startX, 1000), expected)
        << prevLine << " " << line;
  }
}

// Pattern choice at the limits: V rows by level whether or not a dot was
// placed; the last limit lowered on odd matrix values in every plane (V), in
// planes 0 and 3 (N), never (W). Parity shares sit opposite the grey rows':
// even puts N3's extra 2/32 on x's next-line cell, odd on x + 5.
TEST(ColourDiffusion, PatternsAndLastPixel) {
  using enum PatternFamily;
  const SpreadLimits l{40, 23, 6, 3};
  // clang-format off
  const std::tuple<PatternFamily, PlaneClass, uint32_t, bool, int32_t, PatternRow> choices[] = {
      {kDoubleVertical, kPlane1, 0, false, 41, kRow1}, {kDoubleVertical, kPlane1, 0, true, 24, kRow2},
      {kDoubleVertical, kPlanes0And3, 1, false, 23, kRow3}, {kDoubleVertical, kPlane1, 0, true, 7, kRow4},
      {kDoubleVertical, kPlane1, 1, true, 3, kRow5}, {kDoubleVertical, kPlane1, 0, true, 3, kRow6},
      {kGeneral, kPlane1, 0, false, 41, kRow1}, {kGeneral, kPlane1, 0, false, 40, kRow2},
      {kGeneral, kPlanes0And3, 1, true, 3, kRow5}, {kGeneral, kPlane1, 1, true, 3, kRow6},
      {k1440, kPlanes0And3, 1, false, 99, kRow1}, {k1440, kPlanes0And3, 1, true, 3, kRow6}};
  // clang-format on
  for (auto [family, plane, parity, dot, level, row] : choices) {
    EXPECT_EQ(choosePattern(family, l, plane, parity, dot, level), row)
        << int(family) << " " << level;
  }
  std::array<int16_t, 61> even{}, odd{}, grey{};
  spread<kGeneralColourPatterns>(kRow3, Parity::kEven, &even[30], 100, 0);
  spread<kGeneralColourPatterns>(kRow3, Parity::kOdd, &odd[30], 100, 0);
  spread<kBilevelKernels>(bilevel_rows::kAboveLimit2, Parity::kEven, &grey[30], 100, 0);
  EXPECT_EQ(std::tuple(even[30], even[35], odd[30], odd[35]), std::tuple(600, 0, 400, 200));
  EXPECT_EQ(std::tuple(grey[30], grey[35]), std::tuple(400, 200));
  // The last pixel drops grid levels below 32: node 0 holds 32, 31, 0, 0.
  GridAxis axis{};
  axis.lowerWeight.fill(255);
  std::vector<uint8_t> grid(kColourGridBytes);
  grid[0] = 32, grid[1] = 31;
  std::array<uint16_t, 256> share;
  std::iota(share.begin(), share.end(), 0);
  const uint8_t rgb[3] = {9, 9, 9};
  const uint16_t m = 0;
  uint32_t acc[4] = {};
  ditherLastPixel(kLevelsFromGrid, rgb, &acc[0], &acc[1], &acc[2], &acc[3], 4, axis.node.data(),
                  axis.lowerWeight.data(), grid.data(), share.data(), &m, 0, 0, nullptr, 30);
  EXPECT_EQ(std::to_array(acc), (std::array<uint32_t, 4>{4, 0, 0, 0}));
}

}  // namespace
}  // namespace kestrl::halftone
