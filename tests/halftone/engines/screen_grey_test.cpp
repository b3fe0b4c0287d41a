// The grey screening engines with error spreading: one-bit dots, and two-bit
// dithered large and medium dots with diffused small dots.
#include <gtest/gtest.h>

#include "halftone/engine.h"
#include "halftone/kernels/spread_window.h"
#include "halftone/support/test_context.h"

namespace kestrl::halftone {
namespace {

using namespace testing;

constexpr uint32_t kWidth = 300;

struct Variant {
  const char* name;
  EngineId engine;
  char family;  // of the spread patterns
  uint32_t bits, xResolution, yResolution;
  uint32_t limits[3];  // the two-bit spread limits of the resolution class
};

const Variant kVariants[] = {
    {"ScreenBilevel", EngineId::kScreenBilevel, 'N', 1, 720, 720, {}},
    {"ScreenBilevel1440", EngineId::kScreenBilevel1440, 'W', 1, 1440, 720, {}},
    {"ScreenBilevelDoubleVertical", EngineId::kScreenBilevelDoubleVertical, 'V', 1, 360, 720, {}},
    {"ScreenFourLevel", EngineId::kScreenFourLevel, 'N', 2, 720, 720, {15, 3, 1}},
    {"ScreenFourLevel1440", EngineId::kScreenFourLevel1440, 'W', 2, 1440, 720, {14, 3, 0}},
};

// Stretches of one value, so that tones settle, with jumps; one-bit runs get
// single stray pixels too, two-bit runs mostly light tones (where small dots
// are diffused), some darker stretches and some paper white.
std::vector<uint8_t> randomSource(std::mt19937& random, size_t count, bool light) {
  std::vector<uint8_t> source(count);
  uint8_t value = light ? 250 : 0;
  for (uint8_t& s : source) {
    if (random() % 21 == 0) {
      const bool pale = light && random() % 10 < 6;
      value = static_cast<uint8_t>(pale ? 200 + random() % 56 : random() % 256);
    }
    s = !light && random() % 7 == 0 ? static_cast<uint8_t>(random() % 256) : value;
  }
  return source;
}

// Every engine and source step over a page at changing bit offsets: the
// packed codes, the whole error line and the run record match the reference.
TEST(ScreenGrey, PagesMatchThePlainReference) {
  for (const Variant& v : kVariants) {
    for (int32_t step : {0, 1, -1}) {
      SCOPED_TRACE(::testing::Message() << v.name << " step " << step);
      const Tables tables = v.bits == 2
                                ? twoBitTables(11 + step, v.limits[0], v.limits[1], v.limits[2])
                                : oneBitTables(7 + step);
      TestContext fixture(tables, kWidth, v.bits, v.xResolution, v.yResolution, step);
      RefLine ref(kWidth);
      std::mt19937 random(99);
      uint32_t counts[4] = {};
      for (const PlannedRun& r : pagePlan(kWidth)) {
        SCOPED_TRACE(::testing::Message() << "line " << int32_t(r.line) << " x " << r.startX);
        const std::vector<uint8_t> source = randomSource(random, 2 * r.count + 2, v.bits == 2);
        const uint32_t bitOffset = (r.startX + r.line) % (8 / v.bits);
        std::vector<uint8_t> out(kWidth / 4 + 4, 0xA5);
        const std::vector<uint32_t> codes =
            v.bits == 2
                ? refFourLevel(v.family, tables, ref, source.data(), step, r.startX, r.count,
                               r.line)
                : refBilevel(v.family, tables, ref, source.data(), step, r.startX, r.count, r.line);
        const std::vector<uint8_t> expected = packByHand(out, codes, bitOffset, v.bits);
        ASSERT_EQ(
            fixture.run(v.engine, source.data(), out.data(), r.count, r.startX, r.line, bitOffset),
            kOk);
        ASSERT_EQ(out, expected);
        const std::span<int16_t> line = fixture.wholeLine();
        ASSERT_TRUE(std::equal(line.begin(), line.end(), ref.cells.begin(), ref.cells.end()));
        EXPECT_EQ(std::pair(fixture.state.lastLine, fixture.state.lastRunEnd),
                  std::pair(r.line, r.startX + r.count));
        for (uint32_t c : codes) ++counts[c];
      }
      for (uint32_t code = 0; code < (1u << v.bits); ++code) EXPECT_GT(counts[code], 50u) << code;
    }
  }
}

#if KESTRL_SPREAD_WINDOW
// The windowed driver against the scalar one, for every kernel family and
// both cell reads, on the same random lines and choices: runs at every phase
// and length, up to the very end of the line's storage; errors that wrap 16
// bits; dots set by the error, always or never; rows, parities, spreading
// and carry rules at random.
TEST(ScreenGrey, WindowedSpreadMatchesTheScalarOne) {
  using namespace diffusion;
  constexpr uint32_t kLine = 97;
  const std::vector<int16_t> blank(errorLineBytes(kLine) / 2);
  std::mt19937 random(5);
  auto check = [&]<const KernelTable & table, CellRead read>(const char* family) {
    for (int trial = 0; trial < 300; ++trial) {
      SCOPED_TRACE(::testing::Message() << family << " trial " << trial);
      std::vector<int16_t> scalar = blank;
      for (int16_t& c : scalar) c = static_cast<int16_t>(random());
      std::vector<int16_t> windowed = scalar;
      const uint32_t startX = random() % kLine;
      const uint32_t count = trial % 3 == 0 ? kLine - startX : random() % (kLine - startX + 1);
      std::vector<PixelChoice> choices(count);
      for (PixelChoice& c : choices) {
        const uint32_t d = static_cast<uint32_t>(random());
        const int32_t thresholds[] = {INT32_MIN, INT32_MAX, int32_t(d % 2000) - 1000};
        c.ink = d % 7 == 0 ? int32_t(d >> 1) - 0x40000000 : int32_t(d % 300);
        c.threshold = thresholds[d % 5 % 3];
        c.dotValue = int32_t(d % 1023);
        c.errorMask = d % 11 == 0 ? 0 : -1;
        c.slot[0] = (d >> 8) % uint32_t{2 * kRowsPerTable};
        c.slot[1] = (d >> 12) % uint32_t{2 * kRowsPerTable};
        c.code[0] = (d >> 16) % 4;
        c.code[1] = (d >> 18) % 4;
        c.carryMask = (d >> 20) % 3 == 0 ? 0 : -1;
      }
      auto choose = [&](uint32_t i) { return choices[i]; };
      std::vector<uint32_t> scalarCodes, windowedCodes;
      spreadRunScalar<table, read>(scalar.data() + kErrorLineMargin + startX, count, choose,
                                   [&](uint32_t code) { scalarCodes.push_back(code); });
      spreadRunWindowed<table, read>(windowed.data() + kErrorLineMargin + startX,
                                     windowed.data() + windowed.size(), count, choose,
                                     [&](uint32_t code) { windowedCodes.push_back(code); });
      ASSERT_EQ(windowedCodes, scalarCodes);
      ASSERT_EQ(windowed, scalar);
    }
  };
  check.operator()<kBilevelKernels, CellRead::kShift>("general");
  check.operator()<kBilevel1440Kernels, CellRead::kShift>("1440");
  check.operator()<kDoubleVerticalKernels, CellRead::kShift>("double vertical");
  check.operator()<kBilevelKernels, CellRead::kDivide>("general, divided");
  check.operator()<kBilevel1440Kernels, CellRead::kDivide>("1440, divided");
}
#endif

}  // namespace
}  // namespace kestrl::halftone
