#include "memory/memory.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "memory/fault_injection.h"

namespace kestrl::memory {
namespace {

using testing::FaultPlan;
using testing::Operation;
using testing::ScopedFaultPlan;

TEST(Memory, FailedAllocationShowsItsSizeAndReportsAllocFailed) {
  FaultPlan plan;
  plan.failOn(Operation::kAllocate, 1);
  ScopedFaultPlan scope(plan);
  MemoryBlock block{};
  EXPECT_EQ(allocateInto(block, 5000, true), kAllocFailed);
  EXPECT_EQ(block.allocation, nullptr);
  EXPECT_EQ(plan.messageCount, 1u);
  EXPECT_EQ(plan.lastCaption, "Alloc");
  EXPECT_EQ(plan.lastText, "size = 5000");
  EXPECT_EQ(plan.liveAllocations, 0);
}

TEST(Memory, OneAllocationCutIntoViewsIsFreedOnceAndOnlyOnce) {
  FaultPlan plan;
  ScopedFaultPlan scope(plan);
  std::array<MemoryBlock, 20> table{};
  ASSERT_EQ(allocateInto(table[1], 400, true), kOk);
  auto* base = static_cast<uint8_t*>(table[1].data);
  for (size_t k = 2; k <= 4; ++k) makeView(table[k], base + 100 * (k - 1), nullptr, 100);

  EXPECT_EQ(releaseAll(table), kOk);
  EXPECT_EQ(plan.callsOf(Operation::kFree), 1u);
  EXPECT_EQ(plan.callsOf(Operation::kUnlock), 1u);
  EXPECT_EQ(plan.liveAllocations, 0);
  EXPECT_EQ(table[1].data, nullptr);
  EXPECT_EQ(table[3].data, base + 200) << "view data is left as it was";
  EXPECT_EQ(table[3].size, 100u);

  EXPECT_EQ(releaseAll(table), kOk) << "a second sweep finds nothing";
  EXPECT_EQ(plan.callsOf(Operation::kFree), 1u);
}

// A failed unlock stops the sweep at once; a failed free is reported and the
// sweep carries on.
TEST(Memory, ReleaseFailuresAreReportedAndTheSweepGoesOnAsRequired) {
  const struct {
    Operation failing;
    uint32_t failingCall;
    Status expected;
    uint32_t freesAttempted;
  } cases[] = {{Operation::kUnlock, 2, kUnlockFailed, 0},
               {Operation::kFree, 1, kFreeFailed, 3},
               {Operation::kFree, 3, kFreeFailed, 3}};
  for (const auto& c : cases) {
    FaultPlan plan;
    ScopedFaultPlan scope(plan);
    std::array<MemoryBlock, 20> table{};
    for (size_t k : {0, 5, 7}) ASSERT_EQ(allocateInto(table[k], 32, false), kOk);
    plan.failOn(c.failing, c.failingCall);

    EXPECT_EQ(releaseAll(table), c.expected);
    EXPECT_EQ(plan.callsOf(Operation::kFree), c.freesAttempted);
    // A block whose free failed stays allocated, as with the platform's
    // free, and stays in its entry: a later sweep frees it with the rest.
    EXPECT_EQ(plan.liveAllocations, c.failing == Operation::kFree ? 1 : 3);
    EXPECT_EQ(releaseAll(table), kOk);
    EXPECT_EQ(plan.liveAllocations, 0);
    EXPECT_TRUE(plan.unfreed.empty());
    EXPECT_EQ(releaseAll(table), kOk) << "then nothing is left to free";
    EXPECT_EQ(plan.callsOf(Operation::kFree),
              c.freesAttempted + (c.failing == Operation::kFree ? 1 : 3));
  }
}

TEST(Memory, RoundingToFourKeepsTheHistoricalFormula) {
  const std::vector<std::pair<uint32_t, uint32_t>> cases = {
      {1, 4}, {4, 4}, {5, 8}, {514, 516}, {0, 0}};
  // n = 0 wraps: ((0 - 1) & ~3) + 4 = 0 in unsigned 32-bit arithmetic.
  for (auto [n, rounded] : cases) EXPECT_EQ(roundUpTo4(n), rounded) << n;
}

}  // namespace
}  // namespace kestrl::memory
