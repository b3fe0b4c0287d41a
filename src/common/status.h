// Status codes of every library operation, as named constants.
#pragma once

#include <cstdint>

#include "kestrl30.h"

namespace kestrl {

// Implicitly converts to the exported 32-bit status word.
enum Status : uint32_t {
  kOk = KESTRL_STATUS_OK,
  kAllocFailed = KESTRL_STATUS_ALLOC_FAILED,
  kLockFailed = KESTRL_STATUS_LOCK_FAILED,
  kUnlockFailed = KESTRL_STATUS_UNLOCK_FAILED,
  kFreeFailed = KESTRL_STATUS_FREE_FAILED,
  kUnsupportedMode = KESTRL_STATUS_UNSUPPORTED_MODE,
  kBadParameter = KESTRL_STATUS_BAD_PARAMETER,
  kBadSecondParameter = KESTRL_STATUS_BAD_SECOND_PARAMETER,
  kReservedNotZero = KESTRL_STATUS_RESERVED_NOT_ZERO,
  kRunOutsideLine = KESTRL_STATUS_RUN_OUTSIDE_LINE,
  kReserved9NotZero = KESTRL_STATUS_RESERVED9_NOT_ZERO,
  kReserved10NotZero = KESTRL_STATUS_RESERVED10_NOT_ZERO,
  kBadResource = KESTRL_STATUS_BAD_RESOURCE,
};

// Every status the library can return, for validation and tests.
inline constexpr Status kAllStatuses[] = {
    kOk,
    kAllocFailed,
    kLockFailed,
    kUnlockFailed,
    kFreeFailed,
    kUnsupportedMode,
    kBadParameter,
    kBadSecondParameter,
    kReservedNotZero,
    kRunOutsideLine,
    kReserved9NotZero,
    kReserved10NotZero,
    kBadResource,
};

// A short English description of a status, or null for an unknown value.
const char* statusMeaning(uint32_t status);

}  // namespace kestrl
