// Every built engine refuses in its own order, writing nothing and keeping
// lastLine and lastRunEnd: reserved10 (the colour corners do not look at
// it), a run past the line, reserved9, a mode without error lines (only the
// engines that spread error look), then a job whose stages are not all done.
#include <gtest/gtest.h>

#include <vector>

#include "halftone/engine.h"
#include "halftone/support/test_context.h"

namespace kestrl::halftone::testing {
namespace {

enum Kind { kDither, kSpreading, kCorners };

struct EngineCase {
  const char* name;
  Engine engine;
  Kind kind;
  uint32_t bits, x, y;
};

const EngineCase kEngines[] = {
    {"DitherBilevel", ditherBilevel, kDither, 1, 720, 720},
    {"DitherFourLevel", ditherFourLevel, kDither, 2, 720, 720},
    {"ScreenBilevel", screenBilevel, kSpreading, 1, 720, 720},
    {"ScreenBilevel1440", screenBilevel1440, kSpreading, 1, 1440, 720},
    {"ScreenBilevelDoubleVertical", screenBilevelDoubleVertical, kSpreading, 1, 720, 1440},
    {"ScreenFourLevel", screenFourLevel, kSpreading, 2, 720, 720},
    {"ScreenFourLevel1440", screenFourLevel1440, kSpreading, 2, 1440, 720},
    {"ScreenColorCorners", screenColorCorners, kCorners, 1, 720, 720},
};

struct RefusalCase {
  const char* name;
  uint32_t startX, count, reserved9, reserved10;
  bool noErrorLine, stagesDone;
  Status expected[3];  // by Kind
};

const RefusalCase kRefusals[] = {
    {"reserved10, past the line, reserved9",
     290,
     20,
     1,
     1,
     false,
     true,
     {kReserved10NotZero, kReserved10NotZero, kRunOutsideLine}},
    {"run end wraps past 32 bits",
     2,
     0xFFFFFFFFu,
     0,
     0,
     false,
     true,
     {kRunOutsideLine, kRunOutsideLine, kRunOutsideLine}},
    {"past the line, reserved9",
     290,
     11,
     1,
     0,
     true,
     false,
     {kRunOutsideLine, kRunOutsideLine, kRunOutsideLine}},
    {"reserved9",
     0,
     10,
     1,
     0,
     true,
     false,
     {kReserved9NotZero, kReserved9NotZero, kReserved9NotZero}},
    {"no error line, stages not done",
     0,
     10,
     0,
     0,
     true,
     false,
     {kBadResource, kBadParameter, kBadResource}},
    {"stages not done", 0, 10, 0, 0, false, false, {kBadResource, kBadResource, kBadResource}},
};

TEST(Engines, RefuseInTheirOwnOrderWritingNothing) {
  constexpr uint32_t kWidth = 300;
  for (const EngineCase& e : kEngines) {
    for (const RefusalCase& c : kRefusals) {
      const Tables tables = e.bits == 2 ? twoBitTables(1, 15, 3, 1) : oneBitTables(1);
      TestContext fixture(tables, kWidth, e.bits, e.x, e.y);
      PrintMode& mode = fixture.context.printMode;
      if (e.kind == kDither) mode.mode = 3;
      if (e.kind == kCorners) {
        mode.mode = 0;
        mode.colorInput = 1;
        mode.inkSet = 4;
        fixture.load(kCurveOrGridBlock, std::vector<uint8_t>(32, 9));
      }
      fixture.context.bufferCount = c.noErrorLine ? 0 : 1;
      fixture.context.lastLine = 3;
      fixture.context.lastRunEnd = 7;
      const std::vector<uint8_t> source(80, 0x80);
      std::vector<uint8_t> out(16, 0x5A);
      const HalftoneRun run{source.data(), out.data(), 4,  1,           c.count,
                            c.startX,      0,          15, c.reserved9, c.reserved10};
      EXPECT_EQ(fixture.call(e.engine, run, c.stagesDone), c.expected[e.kind])
          << e.name << ": " << c.name;
      EXPECT_EQ(out, std::vector<uint8_t>(16, 0x5A)) << e.name << ": " << c.name;
      EXPECT_EQ(fixture.context.lastLine, 3u) << e.name << ": " << c.name;
      EXPECT_EQ(fixture.context.lastRunEnd, 7u) << e.name << ": " << c.name;
    }
  }
}

// A padded curve without margin (the jitter is taken modulo the margin) is
// refused like a job whose stages are not done.
TEST(Engines, TwoBitEnginesRefuseACurveWithoutMargin) {
  for (Engine engine : {ditherFourLevel, screenFourLevel, screenFourLevel1440}) {
    Tables tables = twoBitTables(1, 15, 3, 1);
    tables.paddedCurve[0] = 0;
    TestContext fixture(tables, 300, 2, engine == screenFourLevel1440 ? 1440 : 720, 720);
    if (engine == ditherFourLevel) fixture.context.printMode.mode = 3;
    const std::vector<uint8_t> source(8, 0x80);
    uint8_t out[2] = {0x5A, 0x5A};
    EXPECT_EQ(fixture.run(engine, source.data(), out, 8, 0, 1), kBadResource);
    EXPECT_EQ(out[0], 0x5A);
  }
}

}  // namespace
}  // namespace kestrl::halftone::testing
