// Test-only seam: makes the Nth allocate, lock, unlock or free fail and
// captures the allocation-failure message instead of showing it.
//
// This is the only mutable state outside the contexts. It is thread-local and
// inactive unless a test installs a plan with ScopedFaultPlan. It exists only
// where KESTRL_FAULT_INJECTION is defined (the static library the tests link);
// elsewhere the memory functions see a plan that is never there and carry no
// test branch.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrl::memory::testing {

enum class Operation { kAllocate, kLock, kUnlock, kFree };
inline constexpr size_t kOperationCount = 4;

struct FaultPlan {
  // 1-based number of the call of each operation that fails; 0 for never.
  std::array<uint32_t, kOperationCount> failAt{};
  // Calls made of each operation while the plan was installed.
  std::array<uint32_t, kOperationCount> calls{};
  // Allocations made and not yet freed while the plan was installed.
  int64_t liveAllocations = 0;
  // Allocations whose free was made to fail: still allocated, as after a
  // real failed free, until releaseUnfreed.
  std::vector<void*> unfreed;
  // The messages shown, and the last one's caption and text.
  uint32_t messageCount = 0;
  std::string lastCaption;
  std::string lastText;

  void failOn(Operation operation, uint32_t callNumber) {
    failAt[static_cast<size_t>(operation)] = callNumber;
  }
  uint32_t callsOf(Operation operation) const { return calls[static_cast<size_t>(operation)]; }
};

#if defined(KESTRL_FAULT_INJECTION)

// Installs a plan for the current thread for the lifetime of this object.
class ScopedFaultPlan {
 public:
  explicit ScopedFaultPlan(FaultPlan& plan);
  ~ScopedFaultPlan();
  ScopedFaultPlan(const ScopedFaultPlan&) = delete;
  ScopedFaultPlan& operator=(const ScopedFaultPlan&) = delete;

 private:
  FaultPlan* previous_;
};

// The plan installed on this thread, or null.
FaultPlan* activePlan();

// Counts a call of the operation; true when the plan says it must fail.
bool shouldFail(Operation operation);

// Frees, for good, the allocations whose free the plan made fail.
void releaseUnfreed(FaultPlan& plan);

#else

// The product's stand-ins: always inlined, so that not even an unoptimised
// shared library carries a call or a symbol of the seam.
[[gnu::always_inline]] constexpr FaultPlan* activePlan() {
  return nullptr;
}
[[gnu::always_inline]] constexpr bool shouldFail(Operation) {
  return false;
}

#endif

}  // namespace kestrl::memory::testing
