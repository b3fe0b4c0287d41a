// The screening engines' error line: reading cells and the upkeep between runs.
#include "halftone/kernels/error_line.h"

#include <gtest/gtest.h>

#include "halftone/support/test_context.h"

namespace kestrl::halftone::diffusion {
namespace {

using halftone::testing::TestContext;

constexpr uint32_t kWidth = 200;
constexpr int16_t kMark = 77;

TEST(ErrorLine, CellsAreReadByShiftOrByTruncatingDivision) {
  struct Case {
    int16_t cell;
    int32_t shifted, divided;
  };
  const Case cases[] = {{-33, -2, -1},
                        {-32, -1, -1},
                        {-31, -1, 0},
                        {-1, -1, 0},
                        {0, 0, 0},
                        {31, 0, 0},
                        {32, 1, 1},
                        {65, 2, 2},
                        {-65, -3, -2},
                        {32767, 1023, 1023},
                        {-32768, -1024, -1024}};
  for (const Case& c : cases) {
    EXPECT_EQ(readCell<CellRead::kShift>(c.cell), c.shifted) << c.cell;
    EXPECT_EQ(readCell<CellRead::kDivide>(c.cell), c.divided) << c.cell;
  }
}

// Each case marks every cell (margins too), sets the previous run's end and
// starts a run; the cells named are cleared, no others.
TEST(ErrorLine, UpkeepClearsTheUnconsumedCells) {
  struct Case {
    const char* name;
    uint32_t lastRunEnd, line, startX, count;
    uint32_t clearFrom, clearTo;  // cleared cells: clearFrom .. clearTo - 1
  };
  const Case cases[] = {
      {"line 15 after a run that ended at 40", 40, 15, 100, 50, 40, 100},
      {"line 14: nothing", 40, 14, 100, 50, 0, 0},
      {"line 31, every sixteenth line", 40, 31, 100, 50, 40, 100},
      {"line 15, run starting where the last ended", 100, 15, 100, 50, 0, 0},
      {"line 15, run starting before the last end", 120, 15, 100, 50, 0, 0},
      {"a full line before counts as ending at 0", kWidth, 15, 60, 10, 0, 60},
      {"a full line before, run at 0", kWidth, 47, 0, 10, 0, 0},
      {"line -1 clears the line, margins excepted", 40, kRestartLine, 100, 50, 0, kWidth},
      {"line -1 with an empty run", kWidth, kRestartLine, 0, 0, 0, kWidth},
  };
  for (const Case& c : cases) {
    TestContext fixture(halftone::testing::oneBitTables(1), kWidth, 1, 720, 720);
    for (int16_t& cell : fixture.wholeLine()) cell = kMark;
    fixture.context.lastRunEnd = c.lastRunEnd;
    HalftoneRun run{};
    run.startX = c.startX;
    run.pixelCount = c.count;
    run.lineNumber = c.line;
    beginScreenRun(fixture.context, fixture.prepared()->setup.tables.errorLines[0], run);
    EXPECT_EQ(fixture.context.lastRunEnd, c.startX + c.count) << c.name;
    EXPECT_EQ(fixture.context.lastLine, c.line) << c.name;
    for (int32_t x = -30; x < static_cast<int32_t>(kWidth) + 30; ++x) {
      const bool cleared =
          x >= static_cast<int32_t>(c.clearFrom) && x < static_cast<int32_t>(c.clearTo);
      ASSERT_EQ(fixture.cell(x), cleared ? 0 : kMark) << c.name << " cell " << x;
    }
  }
}

}  // namespace
}  // namespace kestrl::halftone::diffusion
