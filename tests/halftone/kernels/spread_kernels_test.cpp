// The spread kernels: their data against a second, plain transcription of
// the tables, the threshold nudge, and how much error each row hands on.
#include "halftone/kernels/spread_kernels.h"

#include <gtest/gtest.h>

#include <functional>

#include "halftone/support/test_context.h"

namespace kestrl::halftone::diffusion {
namespace {

using halftone::testing::RefKernel;
using halftone::testing::RefLine;
using halftone::testing::RefRow;
using halftone::testing::RefTable;

using SpreadFn = std::function<int16_t(size_t, Parity, int16_t*, int32_t, int16_t)>;

struct TableUnderTest {
  const char* name;
  RefTable ref;
  SpreadFn spread;
  RefRow rows[kRowsPerTable];  // the condition of each row, in table order
  int handedOnWidest;          // 32nds of e the last row hands on (h rows: see below)
};

const TableUnderTest kTables[] = {
    {"general",
     RefTable::kGeneral,
     spread<kBilevelKernels>,
     {RefRow::kAboveLimit1, RefRow::kNoDot, RefRow::kAboveLimit2, RefRow::kAboveLimit3,
      RefRow::kAboveT, RefRow::kLast},
     30},
    {"1440",
     RefTable::k1440,
     spread<kBilevel1440Kernels>,
     {RefRow::kNoDot, RefRow::kAboveLimit1, RefRow::kAboveLimit2, RefRow::kAboveLimit3,
      RefRow::kAboveLimit4, RefRow::kLast},
     -1},
    {"double vertical",
     RefTable::kDoubleVertical,
     spread<kDoubleVerticalKernels>,
     {RefRow::kAboveLimit1, RefRow::kAboveLimit2, RefRow::kNoDot, RefRow::kAboveLimit3,
      RefRow::kAboveT, RefRow::kLast},
     32},
};

constexpr int32_t kLine = 100;
constexpr int32_t kMargin = 30;

// The widest kernels reach 23 cells right and 21 left and stay inside the
// margin at both ends of the line.
TEST(SpreadKernels, WidestReachStaysInsideTheMargin) {
  std::vector<int16_t> cells(kLine + 2 * kMargin, 0);
  const SpreadFn spread1440 = spread<kBilevel1440Kernels>;
  spread1440(bilevel1440_rows::kWidest, Parity::kEven, &cells[kMargin], 64, 0);
  spread1440(bilevel1440_rows::kWidest, Parity::kEven, &cells[kMargin + kLine - 1], 64, 0);
  EXPECT_EQ(cells[kMargin - 21], 32);
  EXPECT_EQ(cells[kMargin - 22], 0);
  EXPECT_EQ(cells[kMargin + kLine - 1 + 23], 32);
  EXPECT_EQ(cells[kMargin + kLine - 1 + 24], 0);
}

TEST(SpreadKernels, NudgeCountsOnlyBitsOneToSeven) {
  struct Case {
    uint16_t m;
    int32_t nudge;
  };
  const Case cases[] = {{0, 24},   {1, 24},    {7, 24},      {8, 20},       {9, 20},     {128, 20},
                        {129, 20}, {130, -20}, {247, -20},   {248, -24},    {255, -24},  {256, 24},
                        {263, 24}, {264, 20},  {0x1F8, -24}, {0xFFFF, -24}, {0xFF00, 24}};
  for (const Case& c : cases) EXPECT_EQ(thresholdNudge(c.m), c.nudge) << c.m;
}

// Over random lines and random rows, the error each pixel hands on is 32 e
// modulo 2^16: the line plus the pending carry gain 32 e and lose the cell
// the pixel consumed. The general table's widest row hands on 30 e, the 1440
// widest row 18 e + 28 h (h = e >> 1), which is 32 e for even e.
TEST(SpreadKernels, ErrorHandedOnIsConserved) {
  std::mt19937 random(2024);
  for (const TableUnderTest& table : kTables) {
    for (int trial = 0; trial < 20; ++trial) {
      std::vector<int16_t> cells(kLine + 2 * kMargin);
      for (int16_t& c : cells) c = static_cast<int16_t>(random());
      int16_t carry = 0;
      int64_t stored = 0;  // the line's cells plus the carry
      for (int16_t c : cells) stored += c;
      for (int32_t x = 0; x < kLine; ++x) {
        const size_t row = random() % kRowsPerTable;
        const Parity parity = static_cast<Parity>(random() % 2);
        const int32_t e = static_cast<int32_t>(random() % 2001) - 1000;
        int64_t handedOn = 32 * int64_t{e};
        if (row == kRowsPerTable - 1 && table.handedOnWidest == 30) handedOn = 30 * int64_t{e};
        if (row == kRowsPerTable - 1 && table.handedOnWidest < 0) {
          handedOn = 18 * int64_t{e} + 28 * int64_t{e >> 1};
        }
        stored += handedOn - cells[kMargin + x];
        carry = table.spread(row, parity, &cells[kMargin + x], e, carry);
        int64_t now = carry;
        for (int16_t c : cells) now += c;
        ASSERT_EQ((now - stored) & 0xFFFF, 0)
            << table.name << " row " << row << " e " << e << " x " << x;
      }
    }
  }
}

}  // namespace
}  // namespace kestrl::halftone::diffusion
