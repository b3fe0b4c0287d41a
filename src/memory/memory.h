// Memory blocks: every allocation of the library goes through these functions.
//
// An allocation is identified by its locked pointer. A MemoryBlock descriptor
// either owns an allocation (allocation non-null) or is a view into another
// descriptor's block (allocation null); views are never freed by themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/status.h"
#include "kestrl30.h"

namespace kestrl::memory {

// Allocates a block (zero-filled when asked) and returns its locked pointer.
// On failure shows "size = N" under the caption "Alloc" and returns null.
void* allocate(uint32_t size, bool zeroFill);

// Locks an allocation: returns the pointer unchanged (null means failure).
void* lock(void* allocation);

// Unlocks an allocation; false on failure.
bool unlock(void* allocation);

// Unlocks and frees an allocation; false on failure.
bool free(void* allocation);

// Allocates and locks a block into a descriptor: kOk, kAllocFailed (the
// allocation field is then null) or kLockFailed (the block is freed again).
Status allocateInto(MemoryBlock& block, uint32_t size, bool zeroFill);

// Makes the descriptor a view: stores the three values unchanged.
Status makeView(MemoryBlock& block, void* data, void* allocation, uint32_t size);

// Releases every owned block of a table: first unlocks every owned, locked
// entry in order (stopping with kUnlockFailed at the first failure), then
// frees every owned entry in order, carrying on past failures and returning
// kFreeFailed if any failed. An entry whose free failed keeps its
// allocation, so a second sweep frees it; after a clean sweep a second one
// finds nothing to do. Sizes and view data are left as they were.
Status releaseAll(std::span<MemoryBlock> blocks);

// Unlocks and frees one allocation that is not kept in a block table (a
// context's own block, a colour table record). Null is ignored. The block is
// freed even when unlocking fails; only a failed free is reported
// (kFreeFailed).
Status releaseOne(void* allocation);

// An allocated, locked block that releases itself (unlock and free) unless
// its allocation is handed over with release(). The one way the library
// takes a block that it does not keep in a block table.
template <typename T>
class OwnedBlock {
 public:
  OwnedBlock() = default;
  ~OwnedBlock() {
    if (block_.allocation != nullptr) releaseOne(block_.allocation);
  }
  OwnedBlock(const OwnedBlock&) = delete;
  OwnedBlock& operator=(const OwnedBlock&) = delete;

  // kOk, kAllocFailed, or kLockFailed (the allocation is freed again).
  Status allocate(uint32_t size, bool zeroFill) { return allocateInto(block_, size, zeroFill); }
  T* get() const { return static_cast<T*>(block_.data); }
  // Hands the allocation over to its new owner.
  void* release() {
    void* allocation = block_.allocation;
    block_ = {};
    return allocation;
  }

 private:
  MemoryBlock block_{};
};

// Rounds a size up to a multiple of 4 the way block sizes are rounded:
// ((n - 1) with the two low bits cleared) + 4, in unsigned 32-bit arithmetic.
constexpr uint32_t roundUpTo4(uint32_t n) {
  return ((n - 1) & ~uint32_t{3}) + 4;
}

}  // namespace kestrl::memory
