// HalftoneNew / HalftoneDelete through the exported functions.
#include "halftone/halftone_context.h"

#include <gtest/gtest.h>

#include "kestrl30.h"
#include "memory/fault_injection.h"
#include "memory/memory.h"

namespace kestrl {
namespace {

using memory::testing::FaultPlan;
using memory::testing::Operation;
using memory::testing::ScopedFaultPlan;

// Mode 1, grey, 720 x 720, 100 pixels a line.
PrintMode greyMode() {
  return {1, 0, 0, 0, 720, 720, 0, 0, 0, 100, 0};
}

CmLut lutWithCode(int32_t code) {
  CmLut lut{};
  lut.resourceCode = code;
  return lut;
}

TEST(HalftoneNew, ChecksArgumentsInOrderBeforeTouchingAnything) {
  PrintMode mode = greyMode();
  CmLut lut = lutWithCode(7);
  struct Case {
    const char* name;
    const PrintMode* mode;
    const CmLut* lut;
    uint32_t reserved;
    Status expected;
  };
  const Case cases[] = {
      {"reserved first, even with null records", nullptr, nullptr, 1, kReservedNotZero},
      {"missing print mode", nullptr, &lut, 0, kBadParameter},
      {"missing print mode before missing lut", nullptr, nullptr, 0, kBadParameter},
      {"missing lut", &mode, nullptr, 0, kBadSecondParameter},
  };
  for (const Case& c : cases) {
    FaultPlan plan;
    ScopedFaultPlan scope(plan);
    int32_t firstId = 12345;
    HalftoneContext* context = nullptr;
    EXPECT_EQ(HalftoneNew(c.mode, c.lut, c.reserved, &firstId, &context), c.expected) << c.name;
    EXPECT_EQ(firstId, 12345) << c.name;
    EXPECT_EQ(context, nullptr) << c.name;
    EXPECT_EQ(plan.callsOf(Operation::kAllocate), 0u) << c.name;
  }
}

TEST(HalftoneNew, InkParametersAreCheckedAfterTheContextIsHandedBack) {
  struct Case {
    uint32_t inkSet;
    uint32_t colorInput;
    Status expected;
  };
  const Case cases[] = {{0, 0, kOk}, {1, 0, kBadParameter}, {0, 1, kBadParameter}, {4, 1, kOk},
                        {1, 1, kOk}, {3, 1, kBadParameter}, {7, 1, kBadParameter}, {2, 3, kOk}};
  for (const Case& c : cases) {
    PrintMode mode = greyMode();
    mode.inkSet = c.inkSet;
    mode.colorInput = c.colorInput;
    CmLut lut = lutWithCode(-1);
    int32_t firstId = 0;
    HalftoneContext* context = nullptr;
    EXPECT_EQ(HalftoneNew(&mode, &lut, 0, &firstId, &context), c.expected)
        << "inkSet " << c.inkSet << " colorInput " << c.colorInput;
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(firstId, -1);
    mode.lineWidth = 5;  // the context keeps its own copy
    EXPECT_EQ(context->printMode.lineWidth, 100u);
    EXPECT_EQ(HalftoneDelete(context), kOk);
  }
}

// Every unlock and every free a delete makes, failed in turn: the first call
// reports it (the block whose free failed stays allocated, as after a real
// failed free), and calling again, as 259 and 260 invite, completes the
// release, that block included, without touching released memory.
TEST(HalftoneDelete, RetryAfterAnyReleaseFailureIsSafe) {
  for (Operation failing : {Operation::kUnlock, Operation::kFree}) {
    for (uint32_t n = 1;; ++n) {
      SCOPED_TRACE(::testing::Message()
                   << (failing == Operation::kFree ? "free " : "unlock ") << n);
      PrintMode mode = greyMode();
      CmLut lut = lutWithCode(1);
      FaultPlan plan;
      ScopedFaultPlan scope(plan);
      int32_t firstId = 0;
      HalftoneContext* context = nullptr;
      ASSERT_EQ(HalftoneNew(&mode, &lut, 0, &firstId, &context), kOk);
      MemoryBlock* blocks = context->blocks;
      ASSERT_EQ(memory::allocateInto(blocks[1], 64, true), kOk);
      memory::makeView(blocks[2], static_cast<uint8_t*>(blocks[1].data) + 32, nullptr, 32);
      for (size_t k : {5, 7}) ASSERT_EQ(memory::allocateInto(blocks[k], 16, false), kOk);
      plan.failOn(failing, plan.callsOf(failing) + n);
      const KestrlStatus first = HalftoneDelete(context);
      const bool failed = first != kOk;
      if (failed) {
        EXPECT_EQ(first, failing == Operation::kFree ? kFreeFailed : kUnlockFailed);
        EXPECT_EQ(HalftoneDelete(context), kOk);
      }
      EXPECT_EQ(plan.liveAllocations, 0) << "nothing left behind by the retry";
      EXPECT_TRUE(plan.unfreed.empty());
      memory::testing::releaseUnfreed(plan);
      if (!failed) break;
    }
  }
}

}  // namespace
}  // namespace kestrl
