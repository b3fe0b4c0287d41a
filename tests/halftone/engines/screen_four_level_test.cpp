// The two-bit grey screening engines: dithered large and medium dots,
// diffused small dots.
#include <gtest/gtest.h>

#include "halftone/engine.h"
#include "halftone/support/test_context.h"
#include "memory/fault_injection.h"

namespace kestrl::halftone {
namespace {

using namespace testing;

constexpr uint32_t kWidth = 260;

struct Variant {
  const char* name;
  Engine engine;
  RefTable table;
  uint32_t xResolution, yResolution;
  uint32_t limits[3];  // the two-bit spread limits of the resolution class
};

const Variant kVariants[] = {
    {"ScreenFourLevel", screenFourLevel, RefTable::kGeneral, 720, 720, {15, 3, 1}},
    {"ScreenFourLevel1440", screenFourLevel1440, RefTable::k1440, 1440, 720, {14, 3, 0}},
};

Tables tablesFor(const Variant& v, uint32_t seed) {
  return twoBitTables(seed, v.limits[0], v.limits[1], v.limits[2]);
}

// Mostly light tones (where small dots are diffused), some darker stretches
// and some paper white.
std::vector<uint8_t> randomSource(std::mt19937& random, size_t count) {
  std::vector<uint8_t> source(count);
  uint8_t value = 250;
  for (size_t i = 0; i < count; ++i) {
    if (random() % 19 == 0) {
      const uint32_t pick = random() % 10;
      value = static_cast<uint8_t>(pick < 6 ? 200 + random() % 56 : random() % 256);
    }
    source[i] = value;
  }
  return source;
}

// Every engine and source step over several lines (line -1, full lines, two
// runs a line, runs that leave the line's ends out, lines 15 and 31 among
// them): the packed codes and the whole error line match the reference.
TEST(ScreenFourLevel, PagesMatchThePlainReference) {
  for (const Variant& variant : kVariants) {
    for (int32_t step : {0, 1, -1}) {
      const Tables tables = tablesFor(variant, 11 + step);
      TestContext fixture(tables, kWidth, 2, variant.xResolution, variant.yResolution, step);
      RefLine ref(kWidth);
      std::mt19937 random(5);
      uint32_t counts[4] = {};
      std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> plan = {{kRestartLine, 0, kWidth}};
      for (uint32_t line = 0; line < 33; ++line) {
        if (line == 15 || line == 31) {  // cells 0..39 (after a full line 30) or 80..119
          if (line == 15) plan.emplace_back(line, 0, 80);
          plan.emplace_back(line, line == 15 ? 120 : 40, 100);
          continue;
        }
        if (line % 3 == 0) plan.emplace_back(line, 0, kWidth);
        if (line % 3 == 1) plan.emplace_back(line, 0, 61), plan.emplace_back(line, 61, kWidth - 61);
        if (line % 3 == 2) plan.emplace_back(line, 30 + line, 170);
      }
      for (const auto& [line, startX, count] : plan) {
        const std::string where = std::string(variant.name) + " step " + std::to_string(step) +
                                  " line " + std::to_string(static_cast<int32_t>(line));
        const std::vector<uint8_t> source = randomSource(random, count + 1);
        const uint32_t bitOffset = (line + startX) % 4;
        std::vector<uint8_t> out(kWidth / 4 + 4, 0x96);
        const std::vector<uint32_t> codes =
            refFourLevel(variant.table, tables, ref, source.data(), step, startX, count, line);
        const std::vector<uint8_t> expected = packByHand(out, codes, bitOffset, 2);
        ASSERT_EQ(
            fixture.run(variant.engine, source.data(), out.data(), count, startX, line, bitOffset),
            kOk)
            << where;
        ASSERT_EQ(out, expected) << where;
        const std::span<int16_t> cells = fixture.wholeLine();
        ASSERT_TRUE(std::equal(cells.begin(), cells.end(), ref.cells.begin())) << where;
        for (uint32_t c : codes) ++counts[c];
      }
      for (int code = 0; code < 4; ++code) {
        EXPECT_GT(counts[code], 100u) << variant.name << " code " << code;
      }
    }
  }
}

// The cell is divided by 32 toward zero: -33 gives -1 here (the one-bit
// engines take -2). acc = -1 + shares then meets a threshold of shares - 1.
TEST(ScreenFourLevel, NegativeErrorIsTruncatedTowardZero) {
  for (const Variant& variant : kVariants) {
    Tables tables = tablesFor(variant, 1);
    tables.paddedCurve.assign(tables.paddedCurve.size(), 20);  // level 20 everywhere
    tables.dotTable[3 * 20] = 10, tables.dotTable[3 * 20 + 1] = 0, tables.dotTable[3 * 20 + 2] = 0;
    tables.matrix.assign(tables.matrix.size(), 200);  // nudge -20, no dither dot
    tables.threshold[20] = static_cast<int16_t>(10 - 1 + 20);
    struct Case {
      int16_t cell;
      uint8_t expected;
    };
    for (const Case c : {Case{-33, 0x40}, Case{-32, 0x40}, Case{-64, 0x00}, Case{-31, 0x40}}) {
      TestContext fixture(tables, kWidth, 2, variant.xResolution, variant.yResolution);
      fixture.cell(3) = c.cell;
      const uint8_t source = 0;
      uint8_t out = 0;
      ASSERT_EQ(fixture.run(variant.engine, &source, &out, 1, 3, 0), kOk);
      EXPECT_EQ(out, c.expected) << variant.name << " cell " << c.cell;
    }
  }
}

// A row without small-dot share never gives a small dot, whatever error has
// collected; large and medium dots still come from the matrix alone.
TEST(ScreenFourLevel, NoSmallShareNeverGivesASmallDot) {
  for (const Variant& variant : kVariants) {
    Tables tables = tablesFor(variant, 2);
    for (int level = 0; level < 256; ++level) tables.dotTable[3 * level] = 0;
    tables.threshold.assign(256, -1000);
    TestContext fixture(tables, kWidth, 2, variant.xResolution, variant.yResolution);
    for (uint32_t x = 0; x < kWidth; ++x) fixture.cell(x) = 30000;
    std::mt19937 random(3);
    for (uint32_t line = 0; line < 4; ++line) {
      const std::vector<uint8_t> source = randomSource(random, kWidth);
      std::vector<uint8_t> out(kWidth / 4);
      ASSERT_EQ(fixture.run(variant.engine, source.data(), out.data(), kWidth, 0, line), kOk);
      for (uint32_t i = 0; i < kWidth; ++i) {
        EXPECT_NE((out[i / 4] >> (6 - 2 * (i % 4))) & 3, 1) << variant.name << " pixel " << i;
      }
    }
  }
}

// Paper white never prints and leaves the pending carry in its cell; a row
// with s3 = 255 prints large dots wherever the cell is below levelTable[255]
// and hands on acc - 255 with the narrow kernel of the larger dots.
TEST(ScreenFourLevel, PaperWhiteAndFullLargeShare) {
  // Cell 255 (below levelTable[255] = 256) with no error in: acc = 255 - 255
  // = 0, nothing handed on. Cell 254 with 10 carried in: the large dot hands
  // on e = 10 by the row above spreadLimit1: own 8 e (general) or 4 e (1440),
  // carry 4 e, moved on by paper white.
  struct Case {
    uint16_t m;
    int16_t cell20, cell21;
    int32_t own[2], carried;
  };
  for (const Case& c : {Case{255, 0, 777, {0, 0}, 0}, Case{254, 320, 0, {80, 40}, 40}}) {
    for (const Variant& variant : kVariants) {
      Tables tables = tablesFor(variant, 4);
      tables.paddedCurve.assign(tables.paddedCurve.size(), 240);
      tables.dotTable[3 * 240] = 0, tables.dotTable[3 * 240 + 1] = 0;
      tables.dotTable[3 * 240 + 2] = 255;
      tables.matrix.assign(tables.matrix.size(), c.m);
      TestContext fixture(tables, kWidth, 2, variant.xResolution, variant.yResolution);
      fixture.cell(20) = c.cell20;
      fixture.cell(21) = c.cell21;
      const uint8_t source[] = {0, 255};
      uint8_t out = 0x3F;
      ASSERT_EQ(fixture.run(variant.engine, source, &out, 2, 20, 0), kOk);
      EXPECT_EQ(out, 0xC0) << variant.name;
      EXPECT_EQ(fixture.cell(20), c.own[variant.table == RefTable::kGeneral ? 0 : 1])
          << variant.name;
      EXPECT_EQ(fixture.cell(21), c.carried) << variant.name;
    }
  }
}

// A padded curve without margin (the jitter is taken modulo the margin) and
// a context without its dot table are refused like a call in the wrong stage.
TEST(ScreenFourLevel, RefusesACurveWithoutMarginOrAMissingTable) {
  for (const Variant& variant : kVariants) {
    Tables tables = tablesFor(variant, 6);
    tables.paddedCurve[0] = 0;
    TestContext noMargin(tables, kWidth, 2, variant.xResolution, variant.yResolution);
    TestContext noDotTable(tablesFor(variant, 6), kWidth, 2, variant.xResolution,
                           variant.yResolution);
    memory::releaseAll(std::span(&noDotTable.context.blocks[kDotTableBlock], 1));
    for (TestContext* fixture : {&noMargin, &noDotTable}) {
      const uint8_t source[4] = {};
      uint8_t out = 0x77;
      EXPECT_EQ(fixture->run(variant.engine, source, &out, 4, 0, 5), kBadResource) << variant.name;
      EXPECT_EQ(out, 0x77);
      EXPECT_EQ(fixture->context.lastLine, 0u);
    }
  }
}

TEST(ScreenFourLevel, ChecksAndRefusalsWriteNothing) {
  for (const Variant& variant : kVariants) {
    const Tables tables = tablesFor(variant, 7);
    struct Case {
      const char* name;
      uint32_t startX, count, reserved9, reserved10, bufferCount;
      Status expected;
    };
    const Case cases[] = {
        {"reserved10", 0, 4, 1, 1, 1, kReserved10NotZero},
        {"run past the line", kWidth - 3, 4, 1, 0, 1, kRunOutsideLine},
        {"reserved9", 0, 4, 1, 0, 1, kReserved9NotZero},
        {"no error line", 0, 4, 0, 0, 0, kBadParameter},
    };
    for (const Case& c : cases) {
      TestContext fixture(tables, kWidth, 2, variant.xResolution, variant.yResolution);
      fixture.context.bufferCount = c.bufferCount;
      fixture.cell(0) = 1234;
      const uint8_t source[4] = {};
      uint8_t out[2] = {0x33, 0x44};
      HalftoneRun run{source, out,          0,           1,           c.count, c.startX,
                      0,      kRestartLine, c.reserved9, c.reserved10};
      EXPECT_EQ(fixture.call(variant.engine, run), c.expected) << variant.name << c.name;
      EXPECT_EQ(out[0], 0x33);
      EXPECT_EQ(fixture.cell(0), 1234);
      EXPECT_EQ(fixture.context.lastLine, 0u);
    }
  }
}

// Halftone selects the two engines in mode 1 by resolution; they never allocate.
TEST(ScreenFourLevel, HalftoneSelectsTheVariantAndNothingIsAllocated) {
  for (const Variant& variant : kVariants) {
    const Tables tables = tablesFor(variant, 8);
    TestContext direct(tables, kWidth, 2, variant.xResolution, variant.yResolution);
    TestContext viaCall(tables, kWidth, 2, variant.xResolution, variant.yResolution);
    std::mt19937 random(9);
    const std::vector<uint8_t> source = randomSource(random, kWidth);
    std::vector<uint8_t> a(kWidth / 4), b(kWidth / 4);
    memory::testing::FaultPlan plan;
    memory::testing::ScopedFaultPlan scope(plan);
    for (uint32_t line = 0; line < 3; ++line) {
      ASSERT_EQ(direct.run(variant.engine, source.data(), a.data(), kWidth, 0, line), kOk);
      HalftoneRun run{source.data(), b.data(), 0, 0, kWidth, 0, 0, line, 0, 0};
      ASSERT_EQ(halftone(viaCall.prepared(), run), kOk);
      EXPECT_EQ(a, b) << variant.name;
    }
    EXPECT_EQ(plan.callsOf(memory::testing::Operation::kAllocate), 0u);
  }
}

}  // namespace
}  // namespace kestrl::halftone
