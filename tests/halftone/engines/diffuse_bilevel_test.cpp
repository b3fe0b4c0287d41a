// The one-bit colour diffusion engines: whole pages against the plain
// reference, the equivalences between the cached and the plain engines, short
// runs and refusals.
#include <gtest/gtest.h>

#include <cstring>

#include "halftone/engine.h"
#include "halftone/engines/bilevel_colour_loop.h"
#include "halftone/support/colour_reference.h"

namespace kestrl::halftone {
namespace {

using namespace testing;
using namespace diffusion;

constexpr uint32_t kWidth = 300;
constexpr uint32_t kStride = kWidth / 8 + 2;

PrintMode colourMode(uint32_t x, uint32_t y, uint32_t inkSet, int32_t step, uint32_t colorInput) {
  PrintMode m{};
  m.mode = 1, m.xResolution = x, m.yResolution = y, m.bitsPerPixel = 1;
  m.inkSet = inkSet, m.colorInput = colorInput, m.sourceStep = step, m.lineWidth = kWidth;
  return m;
}

// A photograph-like run: smooth ramps with noise, white stretches and, for
// four-ink sources, stretches where one ink or all of them are 0.
std::vector<uint8_t> photoSource(std::mt19937& random, uint32_t pixels, uint32_t bytes) {
  std::vector<uint8_t> s(pixels * bytes);
  int base[4] = {40, 120, 200, 90};
  for (uint32_t i = 0; i < pixels; ++i) {
    const uint32_t r = random() % 100;
    for (uint32_t k = 0; k < bytes; ++k) {
      base[k] = std::clamp(base[k] + static_cast<int>(random() % 7) - 3, 0, 255);
      s[i * bytes + k] = static_cast<uint8_t>(std::clamp(base[k] + int(random() % 9) - 4, 0, 255));
    }
    if (r < 6) std::fill_n(&s[i * bytes], bytes, bytes == 3 ? 255 : 0);
    if (bytes == 4 && (i / 16) % 5 == 1) s[i * bytes + (i / 80) % 4] = 0;
    if (r == 7) base[random() % bytes] = static_cast<int>(random() % 256);
  }
  return s;
}

struct PlannedRun {
  uint32_t line, startX, count;
};

// Line -1, then lines with one run, two runs, a gap on a sixteenth line, a
// run ending inside the line before a first line of sixteen, skipped lines, a
// jump back to an earlier line, odd runs, one-pixel and empty runs.
std::vector<PlannedRun> pagePlan() {
  std::vector<PlannedRun> plan = {{kRestartLine, 0, kWidth}};
  for (uint32_t line = 0; line < 36; ++line) {
    if (line == 15 || line == 31) {
      plan.insert(plan.end(), {{line, 0, 101}, {line, 180, kWidth - 180}});
    } else if (line % 4 == 0) {
      plan.push_back({line, 0, kWidth});
    } else if (line % 4 == 1) {
      plan.insert(plan.end(), {{line, 0, 97 + line}, {line, 97 + line, kWidth - 97 - line}});
    } else {
      plan.push_back({line, 20 + line, 151 + line % 2});
    }
  }
  plan.insert(plan.end(), {{40, 3, 200}, {41, 7, 1}, {41, 8, 0}, {6, 0, 57}, {7, 5, 280}});
  return plan;
}

// Runs a plan through `engine`, checking planes, lines and the run memory
// against the reference after every run; returns the dots placed.
// Through Halftone, which must have selected the engine of the job.
uint32_t runPage(const ColourJob& job, const PrintMode& mode, uint32_t seed) {
  ColourContext fixture(job.t, mode);
  ColourState ref(kWidth);
  std::mt19937 random(seed);
  const bool cached = job.engine == Colour::kCached || job.engine == Colour::kCached1440;
  const uint32_t bytes = job.inkSet == 4 && !cached ? 4 : 3;
  const uint32_t planeCount = job.colorInput == 2 && cached ? 3 : 4;
  const bool failedBefore = ::testing::Test::HasFailure();
  uint32_t dots = 0;
  for (const PlannedRun& r : pagePlan()) {
    const std::string where = "line " + std::to_string(int32_t(r.line)) + " x " +
                              std::to_string(r.startX) + " +" + std::to_string(r.count);
    const std::vector<uint8_t> source = photoSource(random, r.count + 1, bytes);
    const uint32_t bitOffset = (r.startX + r.line) % 8;
    std::vector<uint8_t> out(4 * kStride, 0xA5), expected = out;
    const auto planes = refColourRun(job, ref, source.data(), r.startX, r.count, r.line);
    for (uint32_t k = 0; k < planeCount; ++k) {
      const std::vector<uint8_t> region(out.begin() + k * kStride, out.begin() + (k + 1) * kStride);
      const auto packed = packByHand(region, planes[k], bitOffset, 1);
      std::copy(packed.begin(), packed.end(), expected.begin() + k * kStride);
      for (uint32_t d : planes[k]) dots += d;
    }
    HalftoneRun run{source.data(), out.data(), kStride, bitOffset, r.count,
                    r.startX,      0,          r.line,  0,         0};
    EXPECT_EQ(halftone(&fixture.context, run), kOk) << where;
    EXPECT_EQ(out, expected) << where;
    for (int k = 0; k < 3; ++k) {
      const std::span<int16_t> line = fixture.line(k);
      EXPECT_TRUE(std::equal(line.begin(), line.end(), ref.lines[k].begin()))
          << where << " line " << k;
    }
    EXPECT_EQ(fixture.context.lastLine, r.line);
    EXPECT_EQ(fixture.context.lastRunEnd, r.startX + r.count);
    if (!failedBefore && ::testing::Test::HasFailure()) break;
  }
  return dots;
}

// Whole pages of every engine, each source step and source kind, through
// Halftone (which must pick the engine named) against the reference.
TEST(DiffuseBilevel, PagesMatchThePlainReference) {
  struct Case {
    EngineId id;
    Colour ref;
    uint32_t x, y, inkSet;
    int32_t step;
    uint32_t colorInput;
    std::array<int32_t, 4> limits = {56, 22, 11, 4};
  };
  const Case cases[] = {
      {EngineId::kDiffuseBilevel, Colour::kPlain, 720, 720, 4, 0, 1},
      {EngineId::kDiffuseBilevel, Colour::kPlain, 720, 360, 1, -1, 1},
      {EngineId::kDiffuseBilevel, Colour::kPlain, 720, 720, 4, 1, 2},
      {EngineId::kDiffuseBilevel1440, Colour::kPlain1440, 1440, 720, 4, 0, 1},
      {EngineId::kDiffuseBilevel1440, Colour::kPlain1440, 1440, 720, 1, -1, 1},
      {EngineId::kDiffuseBilevel1440, Colour::kPlain1440, 1440, 720, 4, 1, 1},
      {EngineId::kDiffuseBilevelCached, Colour::kCached, 720, 720, 1, 0, 1},
      {EngineId::kDiffuseBilevelCached, Colour::kCached, 720, 720, 1, 1, 1},
      {EngineId::kDiffuseBilevelCached, Colour::kCached, 720, 720, 2, 0, 2},
      {EngineId::kDiffuseBilevelCached, Colour::kCached, 720, 720, 1, 0, 1, {30, 8, 5, 0}},
      {EngineId::kDiffuseBilevelCached1440, Colour::kCached1440, 1440, 720, 1, 0, 1},
      {EngineId::kDiffuseBilevelCached1440, Colour::kCached1440, 1440, 720, 1, 1, 2},
      {EngineId::kDiffuseBilevelDoubleVertical,
       Colour::kDoubleVertical,
       360,
       720,
       1,
       0,
       1,
       {40, 23, 6, 1}},
      {EngineId::kDiffuseBilevelDoubleVertical,
       Colour::kDoubleVertical,
       360,
       720,
       4,
       1,
       1,
       {40, 23, 6, 1}},
      {EngineId::kDiffuseBilevelDoubleVertical,
       Colour::kDoubleVertical,
       360,
       720,
       1,
       -1,
       1,
       {40, 23, 6, 1}},
  };
  ColourTables tables = colourTables(3);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(engineName(c.id)) + " inkSet " + std::to_string(c.inkSet) + " step " +
                 std::to_string(c.step) + " input " + std::to_string(c.colorInput));
    const PrintMode mode = colourMode(c.x, c.y, c.inkSet, c.step, c.colorInput);
    ASSERT_EQ(selectEngine(mode), c.id);
    std::ranges::copy(c.limits, tables.limits);
    const ColourJob job{tables, c.ref, c.inkSet, c.colorInput, c.step};
    EXPECT_GT(runPage(job, mode, 11), 3000u);
  }
}

// The cached engines against the plain ones on the same contexts and
// sources (inkSet 1, step 0): DiffuseBilevelCached leaves the same planes
// and lines as DiffuseBilevel; DiffuseBilevelCached1440 the same as
// DiffuseBilevel1440 until a plane goes idle while holding a carry (the
// lines are then brought together again and the comparison goes on).
TEST(DiffuseBilevel, CachedEnginesMatchThePlainOnes) {
  struct Case {
    EngineId plain, cached;
    Colour ref;
    uint32_t x;
    bool mayDiffer;
  };
  const Case cases[] = {
      {EngineId::kDiffuseBilevel, EngineId::kDiffuseBilevelCached, Colour::kPlain1440, 720, false},
      {EngineId::kDiffuseBilevel1440, EngineId::kDiffuseBilevelCached1440, Colour::kPlain1440, 1440,
       true}};
  for (const Case& c : cases) {
    int differing = 0;
    for (uint32_t seed = 0; seed < 6; ++seed) {
      const ColourTables tables = colourTables(100 + seed);
      const PrintMode mode = colourMode(c.x, 720, 1, 0, 1);
      ColourContext a(tables, mode), b(tables, mode);
      ColourState witness(kWidth);  // counts idle pixels holding a carry
      std::mt19937 random(seed);
      for (const PlannedRun& r : pagePlan()) {
        const std::vector<uint8_t> source = photoSource(random, r.count + 1, 3);
        std::vector<uint8_t> outA(4 * kStride, 0x3C), outB = outA;
        const int before = witness.idlesWithPendingCarry;
        refColourRun({tables, Colour::kPlain1440}, witness, source.data(), r.startX, r.count,
                     r.line);
        HalftoneRun runA{source.data(), outA.data(), kStride, r.line % 8, r.count,
                         r.startX,      0,           r.line,  0,          0};
        HalftoneRun runB = runA;
        runB.destination = outB.data();
        ASSERT_EQ(a.call(c.plain, runA), kOk);
        ASSERT_EQ(b.call(c.cached, runB), kOk);
        bool same = outA == outB;
        for (int k = 0; k < 3; ++k) same = same && std::ranges::equal(a.line(k), b.line(k));
        const bool idled = witness.idlesWithPendingCarry != before;
        differing += !same;
        EXPECT_TRUE(same || (c.mayDiffer && idled)) << "seed " << seed << " line " << r.line;
        for (int k = 0; k < 3; ++k) std::ranges::copy(a.line(k), b.line(k).begin());
      }
    }
    if (c.mayDiffer) {
      EXPECT_GT(differing, 0);  // the difference is real
    }
  }
}

// Runs of 0 and 1 pixels: an empty run rewrites the four first bytes only
// at a non-zero bit offset (leading bits kept, the rest cleared); one pixel
// goes through the last-pixel dither and its partial bytes are stored.
TEST(DiffuseBilevel, EmptyAndOnePixelRuns) {
  struct Case {
    EngineId engine;
    Colour ref;
  };
  const Case engines[] = {{EngineId::kDiffuseBilevel, Colour::kPlain},
                          {EngineId::kDiffuseBilevel1440, Colour::kPlain1440},
                          {EngineId::kDiffuseBilevelCached, Colour::kCached},
                          {EngineId::kDiffuseBilevelCached1440, Colour::kCached1440},
                          {EngineId::kDiffuseBilevelDoubleVertical, Colour::kDoubleVertical}};
  const std::pair<uint32_t, uint32_t> runs[] = {{0, 0}, {0, 3}, {1, 0}, {1, 6}};
  const ColourTables tables = colourTables(6);
  for (const Case& c : engines) {
    for (uint32_t inkSet : {1u, 4u}) {
      for (auto [count, bitOffset] : runs) {
        ColourContext fixture(tables, colourMode(720, 720, inkSet, 0, 1));
        ColourState ref(kWidth);
        const uint8_t source[4] = {30, 240, 0, 200};
        const auto planes = refColourRun({tables, c.ref, inkSet}, ref, source, 5, count, 0);
        std::vector<uint8_t> out(4 * kStride, 0xFF), expected = out;
        HalftoneRun run{source, out.data(), kStride, bitOffset, count, 5, 0, 0, 0, 0};
        ASSERT_EQ(fixture.call(c.engine, run), kOk);
        for (uint32_t k = 0; k < 4; ++k) {
          const uint8_t first = packByHand({0xFF}, planes[k], bitOffset, 1)[0];
          EXPECT_EQ(out[k * kStride], first) << count << " " << bitOffset << " plane " << k;
          EXPECT_EQ(out[k * kStride + 1], 0xFF);
          if (count == 0) {
            EXPECT_EQ(first, bitOffset == 0 ? 0xFF : 0xE0);
          }
        }
      }
    }
  }
}

// Every refusal comes before anything changes: output, lines, run memory.
TEST(DiffuseBilevel, RefusalsWriteNothing) {
  struct Case {
    const char* name;
    EngineId engine;
    void (*spoil)(HalftoneContext&, HalftoneRun&);
    Status expected;
  };
  const Case cases[] = {
      {"run past the line", EngineId::kDiffuseBilevel,
       [](HalftoneContext&, HalftoneRun& r) { r.pixelCount = kWidth; }, kRunOutsideLine},
      {"reserved9", EngineId::kDiffuseBilevel1440,
       [](HalftoneContext&, HalftoneRun& r) { r.reserved9 = 1; }, kReserved9NotZero},
      {"reserved9", EngineId::kDiffuseBilevelDoubleVertical,
       [](HalftoneContext&, HalftoneRun& r) { r.reserved9 = 1; }, kReserved9NotZero},
      {"one error line", EngineId::kDiffuseBilevel,
       [](HalftoneContext& c, HalftoneRun&) { c.bufferCount = 1; }, kBadParameter},
      {"one error line", EngineId::kDiffuseBilevelCached,
       [](HalftoneContext& c, HalftoneRun&) { c.bufferCount = 1; }, kBadParameter},
      {"no grid", EngineId::kDiffuseBilevelCached1440,
       [](HalftoneContext& c, HalftoneRun&) { c.blocks[kCurveOrGridBlock].data = nullptr; },
       kBadResource},
      {"small grid", EngineId::kDiffuseBilevelDoubleVertical,
       [](HalftoneContext& c, HalftoneRun&) {
         c.blocks[kCurveOrGridBlock].size = 32 * 32 * 32 * 3;
       },
       kBadResource},
      {"no grid index", EngineId::kDiffuseBilevel1440,
       [](HalftoneContext& c, HalftoneRun&) { c.blocks[kGridIndexBlock].data = nullptr; },
       kBadResource},
      {"no matrix", EngineId::kDiffuseBilevelCached,
       [](HalftoneContext& c, HalftoneRun&) { c.blocks[kThresholdMatrixBlock].data = nullptr; },
       kBadResource},
      {"matrix of 257 columns", EngineId::kDiffuseBilevelCached,
       [](HalftoneContext& c, HalftoneRun&) { c.matrixWidth = 257; }, kBadResource},
      {"matrix of 257 columns", EngineId::kDiffuseBilevelCached1440,
       [](HalftoneContext& c, HalftoneRun&) { c.matrixWidth = 257; }, kBadResource},
  };
  const ColourTables tables = colourTables(7);
  const std::vector<uint8_t> source(3 * kWidth, 30);
  for (const Case& c : cases) {
    ColourContext fixture(tables, colourMode(720, 720, 1, 0, 1));
    fixture.context.lastLine = 14, fixture.context.lastRunEnd = 9;
    for (int k = 0; k < 3; ++k) std::ranges::fill(fixture.line(k), int16_t{77});
    HalftoneRun run{source.data(), nullptr, kStride, 3, 20, 10, 0, 15, 0, 0};
    std::vector<uint8_t> out(4 * kStride, 0x5A);
    run.destination = out.data();
    void* grid = fixture.context.blocks[kCurveOrGridBlock].data;
    void* index = fixture.context.blocks[kGridIndexBlock].data;
    void* matrix = fixture.context.blocks[kThresholdMatrixBlock].data;
    c.spoil(fixture.context, run);
    EXPECT_EQ(fixture.call(c.engine, run), c.expected) << c.name;
    EXPECT_EQ(out, std::vector<uint8_t>(4 * kStride, 0x5A)) << c.name;
    EXPECT_EQ(fixture.context.lastLine, 14u) << c.name;
    EXPECT_EQ(fixture.context.lastRunEnd, 9u) << c.name;
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(std::ranges::count(fixture.line(k), 77), kWidth + 60) << c.name;
    fixture.context.blocks[kCurveOrGridBlock].data = grid;  // released by the fixture
    fixture.context.blocks[kGridIndexBlock].data = index;
    fixture.context.blocks[kThresholdMatrixBlock].data = matrix;
  }
  ColourContext wide(tables, colourMode(720, 720, 1, 0, 1));  // 256 columns are accepted
  wide.context.matrixWidth = 256, wide.context.matrixHeight = 4;
  std::vector<uint8_t> out(4 * kStride);
  HalftoneRun run{source.data(), out.data(), kStride, 0, 8, 0, 0, 0, 0, 0};
  EXPECT_EQ(wide.call(EngineId::kDiffuseBilevelCached, run), kOk);
}

}  // namespace
}  // namespace kestrl::halftone
