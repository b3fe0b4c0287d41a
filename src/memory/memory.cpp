#include "memory/memory.h"

#include <cstdio>
#include <vector>

#include "memory/fault_injection.h"
#include "memory/platform.h"

namespace kestrl::memory {

namespace {

using testing::Operation;
using testing::shouldFail;

constexpr const char* kAllocCaption = "Alloc";

void reportAllocationFailure(uint32_t size) {
  char text[32];
  std::snprintf(text, sizeof text, "size = %lu", static_cast<unsigned long>(size));
  if (auto* plan = testing::activePlan()) {
    ++plan->messageCount;
    plan->lastCaption = kAllocCaption;
    plan->lastText = text;
    return;
  }
  platform::showMessage(kAllocCaption, text);
}

void countLive(int64_t delta) {
  if (auto* plan = testing::activePlan()) plan->liveAllocations += delta;
}

}  // namespace

void* allocate(uint32_t size, bool zeroFill) {
  void* allocation =
      shouldFail(Operation::kAllocate) ? nullptr : platform::allocateLocked(size, zeroFill);
  if (allocation == nullptr) {
    reportAllocationFailure(size);
    return nullptr;
  }
  countLive(+1);
  return allocation;
}

void* lock(void* allocation) {
  return shouldFail(Operation::kLock) ? nullptr : allocation;
}

bool unlock(void* /*allocation*/) {
  return !shouldFail(Operation::kUnlock);
}

bool free(void* allocation) {
  // A failed free leaves the block allocated, as the platform's does: the
  // plan keeps it so that the test can release it afterwards.
  if (shouldFail(Operation::kFree)) {
    if (auto* plan = testing::activePlan()) plan->unfreed.push_back(allocation);
    return false;
  }
  const bool freed = platform::freeLocked(allocation);
  if (freed) {
    countLive(-1);
    if (auto* plan = testing::activePlan()) std::erase(plan->unfreed, allocation);
  }
  return freed;
}

Status allocateInto(MemoryBlock& block, uint32_t size, bool zeroFill) {
  block.allocation = allocate(size, zeroFill);
  if (block.allocation == nullptr) return kAllocFailed;
  block.data = lock(block.allocation);
  if (block.data == nullptr) {
    free(block.allocation);
    block.allocation = nullptr;
    return kLockFailed;
  }
  block.size = size;
  return kOk;
}

Status makeView(MemoryBlock& block, void* data, void* allocation, uint32_t size) {
  block.data = data;
  block.allocation = allocation;
  block.size = size;
  return kOk;
}

Status releaseAll(std::span<MemoryBlock> blocks) {
  for (MemoryBlock& block : blocks) {
    if (block.allocation == nullptr || block.data == nullptr) continue;
    if (!unlock(block.allocation)) return kUnlockFailed;
    block.data = nullptr;
  }
  // A block whose free failed is still allocated: the entry keeps it, so
  // that the next sweep (a retried delete) frees it instead of leaking it.
  Status result = kOk;
  for (MemoryBlock& block : blocks) {
    if (block.allocation == nullptr) continue;
    if (free(block.allocation)) {
      block.allocation = nullptr;
    } else {
      result = kFreeFailed;
    }
  }
  return result;
}

Status releaseOne(void* allocation) {
  if (allocation == nullptr) return kOk;
  unlock(allocation);
  return free(allocation) ? kOk : kFreeFailed;
}

}  // namespace kestrl::memory
