// The one-bit grey screening engines with error spreading.
#include <gtest/gtest.h>

#include <cstring>

#include "halftone/engine.h"
#include "halftone/support/test_context.h"
#include "memory/fault_injection.h"

namespace kestrl::halftone {
namespace {

using namespace testing;

constexpr uint32_t kWidth = 300;

struct Variant {
  const char* name;
  Engine engine;
  RefTable table;
  uint32_t xResolution, yResolution;
};

const Variant kVariants[] = {
    {"ScreenBilevel", screenBilevel, RefTable::kGeneral, 720, 720},
    {"ScreenBilevel1440", screenBilevel1440, RefTable::k1440, 1440, 720},
    {"ScreenBilevelDoubleVertical", screenBilevelDoubleVertical, RefTable::kDoubleVertical, 360,
     720},
};

// Source of a run: stretches of one value, so that tones settle, with jumps.
std::vector<uint8_t> randomSource(std::mt19937& random, size_t count) {
  std::vector<uint8_t> source(count);
  uint8_t value = 0;
  for (size_t i = 0; i < count; ++i) {
    if (random() % 23 == 0) value = static_cast<uint8_t>(random() % 256);
    source[i] = random() % 7 == 0 ? static_cast<uint8_t>(random() % 256) : value;
  }
  return source;
}

// The runs of a page: line -1 first, then lines 0 to 33 given as one run,
// as two runs, or as a run that leaves both ends of the line out; on lines
// 15 and 31 the sixteenth-line clearing has cells to clear.
struct PlannedRun {
  uint32_t line, startX, count;
};

std::vector<PlannedRun> pagePlan() {
  std::vector<PlannedRun> plan = {{kRestartLine, 0, kWidth}};
  for (uint32_t line = 0; line < 34; ++line) {
    if (line == 15) {  // a gap between two runs: cells 50 to 119 are cleared
      plan.push_back({line, 0, 50});
      plan.push_back({line, 120, kWidth - 120});
      continue;
    }
    if (line == 31) {  // after a full line: cells 0 to 59 are cleared
      plan.push_back({line, 60, 100});
      continue;
    }
    switch (line % 3) {
      case 0:
        plan.push_back({line, 0, kWidth});
        break;
      case 1:
        plan.push_back({line, 0, 97 + line});
        plan.push_back({line, 97 + line, kWidth - 97 - line});
        break;
      default:
        plan.push_back({line, 40 + line, 150});
        break;
    }
  }
  return plan;
}

void expectSameLine(TestContext& fixture, const RefLine& ref, const std::string& where) {
  const std::span<int16_t> line = fixture.wholeLine();
  ASSERT_EQ(line.size(), ref.cells.size());
  for (size_t i = 0; i < line.size(); ++i) {
    ASSERT_EQ(line[i], ref.cells[i]) << where << " cell " << static_cast<int>(i) - 30;
  }
}

// Every engine, every source step, runs over a whole page at changing bit
// offsets: the packed dots and the whole error line match the reference.
TEST(ScreenBilevel, PagesMatchThePlainReference) {
  for (const Variant& variant : kVariants) {
    for (int32_t step : {0, 1, -1}) {
      const Tables tables = oneBitTables(7 + step);
      TestContext fixture(tables, kWidth, 1, variant.xResolution, variant.yResolution, step);
      RefLine ref(kWidth);
      std::mt19937 random(99);
      uint32_t dots = 0;
      for (const PlannedRun& r : pagePlan()) {
        const std::string where = std::string(variant.name) + " step " + std::to_string(step) +
                                  " line " + std::to_string(static_cast<int32_t>(r.line)) + " x " +
                                  std::to_string(r.startX);
        const std::vector<uint8_t> source = randomSource(random, 2 * r.count + 2);
        const uint32_t bitOffset = (r.startX + r.line) % 8;
        std::vector<uint8_t> out(kWidth / 8 + 4, 0xA5);
        const std::vector<uint32_t> codes =
            refBilevel(variant.table, tables, ref, source.data(), step, r.startX, r.count, r.line);
        const std::vector<uint8_t> expected = packByHand(out, codes, bitOffset, 1);
        ASSERT_EQ(fixture.run(variant.engine, source.data(), out.data(), r.count, r.startX, r.line,
                              bitOffset),
                  kOk)
            << where;
        ASSERT_EQ(out, expected) << where;
        expectSameLine(fixture, ref, where);
        EXPECT_EQ(fixture.context.lastLine, r.line);
        EXPECT_EQ(fixture.context.lastRunEnd, r.startX + r.count);
        for (uint32_t c : codes) dots += c;
      }
      EXPECT_GT(dots, 500u) << variant.name;  // the page is neither empty nor solid
    }
  }
}

// A one-pixel run whose carried error puts acc right at the nudged
// threshold or one below it: only bits 1 to 7 of the matrix cell count.
TEST(ScreenBilevel, MatrixCellNudgesTheThreshold) {
  struct Case {
    uint16_t m;
    int32_t nudge;
  };
  const Case cases[] = {{0, 24},    {7, 24},    {8, 20},    {128, 20},  {129, 20},
                        {130, -20}, {247, -20}, {248, -24}, {255, -24}, {256, 24}};
  Tables tables = oneBitTables(1);
  const uint8_t level = 30;
  tables.toneCurve.assign(256, level);
  tables.threshold.assign(256, 100);
  for (const Case& c : cases) {
    for (int32_t below : {0, 1}) {
      tables.matrix.assign(tables.matrix.size(), c.m);
      TestContext fixture(tables, kWidth, 1, 720, 720);
      const int32_t acc = 100 + c.nudge - below;
      fixture.cell(5) = static_cast<int16_t>((acc - level) * 32);
      const uint8_t source = 0;
      uint8_t out = 0;
      ASSERT_EQ(fixture.run(screenBilevel, &source, &out, 1, 5, 0), kOk);
      EXPECT_EQ(out, below ? 0x00 : 0x80) << "m " << c.m << " acc " << acc;
    }
  }
}

// Step -1 screens the greater of each pair of source values.
TEST(ScreenBilevel, SourceStepMinusOneTakesTheGreaterValue) {
  Tables tables = oneBitTables(2);
  tables.toneCurve.assign(256, 1);
  tables.toneCurve[200] = 200;  // prints at once
  tables.threshold.assign(256, 150);
  for (const Variant& variant : kVariants) {
    TestContext fixture(tables, kWidth, 1, variant.xResolution, variant.yResolution, -1);
    const uint8_t source[] = {10, 200, 200, 10, 10, 10};
    uint8_t out = 0;
    ASSERT_EQ(fixture.run(variant.engine, source, &out, 3, 0, 0), kOk);
    EXPECT_EQ(out, 0xC0) << variant.name;
  }
}

// A zero level never prints; it leaves the pending carry in its cell, except
// at 1440 x 720, where the carry is dropped.
TEST(ScreenBilevel, ZeroLevelMovesOrDropsTheCarry) {
  Tables tables = oneBitTables(3);
  tables.toneCurve.assign(256, 0);
  tables.toneCurve[1] = 100;
  tables.threshold.assign(256, 1000);  // no dots: e = acc = 100
  tables.matrix.assign(tables.matrix.size(), 0);
  struct Case {
    const Variant& variant;
    int16_t expectedCell;
  };
  // Level 100 > spreadLimit1 (55): carry 4 e, 0 at 1440 (no dot: carry 0),
  // 8 e double vertical.
  const Case cases[] = {{kVariants[0], 400}, {kVariants[1], 0}, {kVariants[2], 800}};
  for (const Case& c : cases) {
    TestContext fixture(tables, kWidth, 1, c.variant.xResolution, c.variant.yResolution);
    fixture.cell(11) = 5000;
    const uint8_t source[] = {1, 0};
    uint8_t out = 0xFF;
    ASSERT_EQ(fixture.run(c.variant.engine, source, &out, 2, 10, 0), kOk);
    EXPECT_EQ(out, 0x00) << c.variant.name;
    EXPECT_EQ(fixture.cell(11), c.expectedCell) << c.variant.name;
  }
  // At 1440 a dotted pixel with a carry, then a zero level: still dropped.
  tables.threshold.assign(256, 0);
  TestContext fixture(tables, kWidth, 1, 1440, 720);
  const uint8_t source[] = {1, 0};
  uint8_t out = 0;
  ASSERT_EQ(fixture.run(screenBilevel1440, source, &out, 2, 10, 0), kOk);
  EXPECT_EQ(out, 0x80);
  EXPECT_EQ(fixture.cell(11), 0);
}

TEST(ScreenBilevel, ArgumentChecksComeFirstAndChangeNothing) {
  struct Case {
    const char* name;
    uint32_t startX, count, reserved9, reserved10;
    Status expected;
  };
  const Case cases[] = {
      {"reserved10 before a run past the line", 290, 20, 1, 1, kReserved10NotZero},
      {"run past the line", 290, 11, 0, 0, kRunOutsideLine},
      {"run past the line before reserved9", 290, 11, 1, 0, kRunOutsideLine},
      {"reserved9", 0, 10, 1, 0, kReserved9NotZero},
  };
  const Tables tables = oneBitTables(4);
  for (const Variant& variant : kVariants) {
    for (const Case& c : cases) {
      TestContext fixture(tables, kWidth, 1, variant.xResolution, variant.yResolution);
      fixture.context.lastLine = 3;
      fixture.context.lastRunEnd = 7;
      std::vector<uint8_t> source(40, 0x80);
      std::vector<uint8_t> out(8, 0x5A);
      HalftoneRun run{source.data(), out.data(), 0,  3,           c.count,
                      c.startX,      0,          15, c.reserved9, c.reserved10};
      EXPECT_EQ(fixture.call(variant.engine, run), c.expected) << variant.name << c.name;
      EXPECT_EQ(out, std::vector<uint8_t>(8, 0x5A)) << c.name;
      EXPECT_EQ(fixture.context.lastLine, 3u);
      EXPECT_EQ(fixture.context.lastRunEnd, 7u);
    }
  }
}

// Mode 2 makes no error line at stage 1 yet selects these engines for
// one-bit output: the call is refused and writes nothing. A call before the
// table stages ran is refused as a call in the wrong stage.
TEST(ScreenBilevel, RefusesAContextWithoutItsTables) {
  const Tables tables = oneBitTables(5);
  for (const Variant& variant : kVariants) {
    TestContext noLine(tables, kWidth, 1, variant.xResolution, variant.yResolution);
    noLine.context.printMode.mode = 2;
    noLine.context.bufferCount = 0;
    const uint8_t source[4] = {};
    uint8_t out[2] = {0x11, 0x22};
    HalftoneRun run{source, out, 0, 0, 4, 0, 0, 0, 0, 0};
    EXPECT_EQ(halftone(noLine.prepared(), run), kBadParameter) << variant.name;
    EXPECT_EQ(out[0], 0x11);
    EXPECT_EQ(noLine.context.lastRunEnd, 0u);

    TestContext noCurve(tables, kWidth, 1, variant.xResolution, variant.yResolution);
    noCurve.context.blocks[kCurveOrGridBlock].data = nullptr;
    EXPECT_EQ(noCurve.call(variant.engine, run), kBadResource) << variant.name;
    EXPECT_EQ(out[0], 0x11);
    noCurve.context.blocks[kCurveOrGridBlock].data = noCurve.context.blocks[0].allocation;
  }
}

// Halftone selects the three engines by resolution in modes 1 and 2, and
// none of them allocates.
TEST(ScreenBilevel, HalftoneSelectsTheVariantAndNothingIsAllocated) {
  const Tables tables = oneBitTables(6);
  for (const Variant& variant : kVariants) {
    for (uint32_t mode : {1u, 2u}) {
      TestContext direct(tables, kWidth, 1, variant.xResolution, variant.yResolution);
      TestContext viaCall(tables, kWidth, 1, variant.xResolution, variant.yResolution);
      viaCall.context.printMode.mode = mode;
      std::mt19937 random(mode);
      const std::vector<uint8_t> source = randomSource(random, kWidth);
      std::vector<uint8_t> a(kWidth / 8 + 1), b(kWidth / 8 + 1);
      memory::testing::FaultPlan plan;
      memory::testing::ScopedFaultPlan scope(plan);
      for (uint32_t line = 0; line < 3; ++line) {
        ASSERT_EQ(direct.run(variant.engine, source.data(), a.data(), kWidth, 0, line), kOk);
        HalftoneRun run{source.data(), b.data(), 0, 0, kWidth, 0, 0, line, 0, 0};
        ASSERT_EQ(halftone(viaCall.prepared(), run), kOk);
        EXPECT_EQ(a, b) << variant.name << " mode " << mode;
      }
      EXPECT_EQ(plan.callsOf(memory::testing::Operation::kAllocate), 0u);
    }
  }
}

}  // namespace
}  // namespace kestrl::halftone
