// The two-bit grey screening engines: dithered large and medium dots,
// diffused small dots.
#include <gtest/gtest.h>

#include "halftone/engine.h"
#include "halftone/support/test_context.h"

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

}  // namespace
}  // namespace kestrl::halftone
