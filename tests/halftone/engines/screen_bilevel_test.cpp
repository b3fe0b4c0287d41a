// The one-bit grey screening engines with error spreading.
#include <gtest/gtest.h>

#include <cstring>

#include "halftone/engine.h"
#include "halftone/support/test_context.h"

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

}  // namespace
}  // namespace kestrl::halftone
