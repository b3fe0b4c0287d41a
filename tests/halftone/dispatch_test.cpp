// Engine selection, the Halftone checks, output packing and source reading.
#include <gtest/gtest.h>

#include <vector>

#include "halftone/engine.h"
#include "halftone/support/test_context.h"

namespace kestrl::halftone {
namespace {

using enum EngineId;

struct SelectionCase {
  uint32_t bits, mode, colorInput, colorMethod, inkSet;
  int32_t sourceStep;
  uint32_t x, y;
  EngineId engine;
};

// Every row of the selection table, with the neighbours that must not match
// an earlier row.
const SelectionCase kSelection[] = {
    {2, 3, 1, 0, 4, 0, 720, 720, kDitherColorFourLevel},
    {2, 3, 0, 0, 0, 0, 1440, 720, kDitherFourLevel},
    {2, 1, 1, 0, 4, 0, 1440, 720, kDiffuseFourLevel1440},
    {2, 1, 1, 0, 4, 0, 720, 720, kDiffuseFourLevel},
    {2, 1, 1, 0, 1, -1, 1440, 1440, kDiffuseFourLevel},
    {2, 1, 0, 0, 0, 0, 1440, 720, kScreenFourLevel1440},
    {2, 1, 0, 0, 0, 0, 360, 720, kScreenFourLevel},
    {2, 0, 0, 0, 0, 0, 720, 720, kNone},
    {2, 2, 1, 0, 4, 0, 720, 720, kNone},
    {2, 4, 0, 0, 0, 0, 720, 720, kNone},
    {1, 3, 0, 0, 0, 0, 360, 720, kDitherBilevel},
    {1, 3, 1, 1, 4, 0, 720, 720, kScreenColorBilevel},
    {1, 3, 1, 5, 4, 0, 360, 720, kScreenColorBilevel},
    {1, 3, 1, 0, 4, 0, 720, 720, kScreenColorBilevelDiffused},
    {1, 3, 1, 2, 4, 0, 1440, 720, kScreenColorBilevelDiffused},
    {1, 0, 0, 0, 0, 0, 1440, 720, kDitherBilevel},
    {0, 0, 0, 0, 0, 1, 720, 720, kDitherBilevel},
    {1, 0, 1, 0, 4, 0, 360, 720, kScreenColorCorners},
    {1, 1, 0, 0, 0, 0, 360, 720, kScreenBilevelDoubleVertical},
    {1, 1, 0, 0, 0, 0, 1440, 720, kScreenBilevel1440},
    {1, 2, 0, 0, 0, 0, 1440, 720, kScreenBilevel1440},
    {1, 1, 0, 0, 0, 0, 720, 360, kScreenBilevel},
    {8, 9, 0, 0, 0, 0, 720, 720, kScreenBilevel},
    {1, 1, 1, 0, 1, 0, 360, 720, kDiffuseBilevelDoubleVertical},
    {1, 2, 1, 0, 4, -1, 360, 720, kDiffuseBilevelDoubleVertical},
    {1, 1, 1, 0, 1, 0, 1440, 720, kDiffuseBilevelCached1440},
    {1, 1, 1, 0, 1, 1, 720, 720, kDiffuseBilevelCached},
    {1, 2, 1, 0, 2, 0, 720, 360, kDiffuseBilevelCached},
    {1, 1, 1, 0, 4, 0, 1440, 720, kDiffuseBilevel1440},
    {1, 1, 1, 0, 1, -1, 1440, 720, kDiffuseBilevel1440},
    {1, 1, 1, 0, 4, 0, 720, 720, kDiffuseBilevel},
    {1, 1, 1, 0, 2, -1, 720, 360, kDiffuseBilevel},
};

TEST(SelectEngine, FirstMatchingRowOfTheTable) {
  for (const SelectionCase& c : kSelection) {
    const PrintMode m{
        c.mode, c.colorMethod, c.inkSet, c.colorInput, c.x, c.y, c.bits, c.sourceStep, 0, 0, 0};
    EXPECT_EQ(engineName(selectEngine(m)), std::string(engineName(c.engine)))
        << "bits " << c.bits << " mode " << c.mode << " colour " << c.colorInput << " method "
        << c.colorMethod << " inks " << c.inkSet << " step " << c.sourceStep << " " << c.x << "x"
        << c.y;
  }
}

// ------------------------------------------------------------ the checks

struct CheckCase {
  const char* name;
  uint32_t bits, mode, startX, pixelCount, bitOffset, reserved9;
  Status status;
};

TEST(Halftone, ChecksRunThenModeThenBitOffsetWritingNothing) {
  const CheckCase cases[] = {
      // Halftone checks the run before the mode; the order of the run checks
      // among themselves is the engines' (see the refusal tests).
      {"run past the line before the mode", 2, 0, 60, 5, 0, 0, kRunOutsideLine},
      {"run end wraps past 32 bits", 1, 3, 2, 0xFFFFFFFFu, 0, 0, kRunOutsideLine},
      {"reserved9 before the mode", 2, 0, 0, 64, 0, 1, kReserved9NotZero},
      {"two-bit in mode 0", 2, 0, 0, 4, 0, 0, kUnsupportedMode},
      {"two-bit in mode 2", 2, 2, 0, 4, 0, 0, kUnsupportedMode},
      {"one-bit offset 8", 1, 3, 0, 4, 8, 0, kBadParameter},
      {"two-bit offset 4", 2, 3, 0, 4, 4, 0, kBadParameter},
  };
  for (const CheckCase& c : cases) {
    HalftoneContext context{};
    context.printMode.lineWidth = 64;
    context.printMode.bitsPerPixel = c.bits;
    context.printMode.mode = c.mode;
    context.lastLine = 77;
    std::vector<uint8_t> out(32, 0xA5);
    const uint8_t source[64] = {};
    const HalftoneRun run{source,   out.data(), 0, c.bitOffset, c.pixelCount,
                          c.startX, 0,          3, c.reserved9, 0};
    prepareEngine(context, /*stagesComplete=*/false);
    EXPECT_EQ(halftone(&context, run), c.status) << c.name;
    EXPECT_EQ(out, std::vector<uint8_t>(32, 0xA5)) << c.name;
    EXPECT_EQ(context.lastLine, 77u) << c.name;
  }
}

}  // namespace
}  // namespace kestrl::halftone
