#include "memory/fault_injection.h"

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

}  // namespace kestrl::memory::testing

#endif
