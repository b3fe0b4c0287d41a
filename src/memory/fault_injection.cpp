#include "memory/fault_injection.h"

#include "memory/platform.h"

#if defined(KESTRL_FAULT_INJECTION)

namespace kestrl::memory::testing {

namespace {
thread_local FaultPlan* installedPlan = nullptr;
}  // namespace

ScopedFaultPlan::ScopedFaultPlan(FaultPlan& plan) : previous_(installedPlan) {
  installedPlan = &plan;
}

ScopedFaultPlan::~ScopedFaultPlan() {
  installedPlan = previous_;
}

FaultPlan* activePlan() {
  return installedPlan;
}

bool shouldFail(Operation operation) {
  if (installedPlan == nullptr) return false;
  const auto index = static_cast<size_t>(operation);
  const uint32_t call = ++installedPlan->calls[index];
  return installedPlan->failAt[index] == call;
}

void releaseUnfreed(FaultPlan& plan) {
  for (void* allocation : plan.unfreed) {
    platform::freeLocked(allocation);
    --plan.liveAllocations;
  }
  plan.unfreed.clear();
}

}  // namespace kestrl::memory::testing

#endif
