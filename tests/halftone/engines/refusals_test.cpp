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
  EngineId engine;
  Kind kind;
  uint32_t bits, x, y;
};

const EngineCase kEngines[] = {
    {"DitherBilevel", EngineId::kDitherBilevel, kDither, 1, 720, 720},
    {"DitherFourLevel", EngineId::kDitherFourLevel, kDither, 2, 720, 720},
    {"ScreenBilevel", EngineId::kScreenBilevel, kSpreading, 1, 720, 720},
    {"ScreenBilevel1440", EngineId::kScreenBilevel1440, kSpreading, 1, 1440, 720},
    {"ScreenBilevelDoubleVertical", EngineId::kScreenBilevelDoubleVertical, kSpreading, 1, 720,
     1440},
    {"ScreenFourLevel", EngineId::kScreenFourLevel, kSpreading, 2, 720, 720},
    {"ScreenFourLevel1440", EngineId::kScreenFourLevel1440, kSpreading, 2, 1440, 720},
    {"ScreenColorCorners", EngineId::kScreenColorCorners, kCorners, 1, 720, 720},
};

// What a case spoils: a run one pixel past the line, a run end that wraps
// past 32 bits, reserved9 or reserved10 set, no error line, the stages not
// all done.
enum Spoil : uint32_t {
  kPastLine = 1,
  kWraps = 2,
  kReserved9 = 4,
  kReserved10 = 8,
  kNoErrorLine = 16,
  kStagesNotDone = 32
};

struct RefusalCase {
  uint32_t spoils;
  Status expected[3];  // by Kind
};

const RefusalCase kRefusals[] = {
    {kReserved10 | kPastLine | kReserved9,
     {kReserved10NotZero, kReserved10NotZero, kRunOutsideLine}},
    {kWraps, {kRunOutsideLine, kRunOutsideLine, kRunOutsideLine}},
    {kPastLine | kReserved9 | kNoErrorLine | kStagesNotDone,
     {kRunOutsideLine, kRunOutsideLine, kRunOutsideLine}},
    {kReserved9 | kNoErrorLine | kStagesNotDone,
     {kReserved9NotZero, kReserved9NotZero, kReserved9NotZero}},
    {kNoErrorLine | kStagesNotDone, {kBadResource, kBadParameter, kBadResource}},
    {kStagesNotDone, {kBadResource, kBadResource, kBadResource}},
};

TEST(Engines, RefuseInTheirOwnOrderWritingNothing) {
  constexpr uint32_t kWidth = 300;
  for (const EngineCase& e : kEngines) {
    for (const RefusalCase& c : kRefusals) {
      const Tables tables = e.bits == 2 ? twoBitTables(1, 15, 3, 1) : oneBitTables(1);
      TestContext fixture(tables, kWidth, e.bits, e.x, e.y);
      PrintMode& mode = fixture.mode;
      if (e.kind == kDither) mode.mode = 3;
      if (e.kind == kCorners) {
        mode.mode = 0;
        mode.colorInput = 1;
        mode.inkSet = 4;
        fixture.colorGrid.assign(32, 9);
      }
      if (c.spoils & kNoErrorLine) fixture.errorLine.clear();
      fixture.state = {3, 7};
      const std::vector<uint8_t> source(80, 0x80);
      std::vector<uint8_t> out(16, 0x5A);
      const uint32_t startX = c.spoils & kPastLine ? 290 : c.spoils & kWraps ? 2 : 0;
      const uint32_t count = c.spoils & kWraps ? 0xFFFFFFFFu : c.spoils & kPastLine ? 11 : 10;
      const uint32_t reserved9 = (c.spoils & kReserved9) != 0;
      const uint32_t reserved10 = (c.spoils & kReserved10) != 0;
      const HalftoneRun run{source.data(), out.data(), 4,  1,         count,
                            startX,        0,          15, reserved9, reserved10};
      SCOPED_TRACE(::testing::Message() << e.name << ", spoils " << c.spoils);
      EXPECT_EQ(fixture.call(e.engine, run, (c.spoils & kStagesNotDone) == 0), c.expected[e.kind]);
      EXPECT_EQ(out, std::vector<uint8_t>(16, 0x5A));
      EXPECT_EQ(std::pair(fixture.state.lastLine, fixture.state.lastRunEnd), std::pair(3u, 7u));
    }
  }
}

// A padded curve without margin (the jitter is taken modulo the margin) is
// refused like a job whose stages are not done.
TEST(Engines, TwoBitEnginesRefuseACurveWithoutMargin) {
  using enum EngineId;
  for (EngineId engine : {kDitherFourLevel, kScreenFourLevel, kScreenFourLevel1440}) {
    Tables tables = twoBitTables(1, 15, 3, 1);
    tables.paddedCurve[0] = 0;
    TestContext fixture(tables, 300, 2, engine == kScreenFourLevel1440 ? 1440 : 720, 720);
    if (engine == kDitherFourLevel) fixture.mode.mode = 3;
    const std::vector<uint8_t> source(8, 0x80);
    uint8_t out[2] = {0x5A, 0x5A};
    EXPECT_EQ(fixture.run(engine, source.data(), out, 8, 0, 1), kBadResource);
    EXPECT_EQ(out[0], 0x5A);
  }
}

}  // namespace
}  // namespace kestrl::halftone::testing
