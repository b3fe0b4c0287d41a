#include "common/status.h"

namespace kestrl {

const char* statusMeaning(uint32_t status) {
  // clang-format off
  switch (status) {
    case kOk: return "success";
    case kAllocFailed: return "allocation of a memory block failed";
    case kLockFailed: return "locking a freshly allocated block failed";
    case kUnlockFailed: return "unlocking a block during release failed";
    case kFreeFailed: return "freeing a block failed";
    case kUnsupportedMode: return "unsupported mode";
    case kBadParameter: return "missing or inconsistent parameter";
    case kBadSecondParameter: return "second parameter missing or wrong";
    case kReservedNotZero: return "reserved argument not zero";
    case kRunOutsideLine: return "the run does not fit in the line";
    case kReserved9NotZero: return "reserved9 not zero";
    case kReserved10NotZero: return "reserved10 not zero";
    case kBadResource: return "bad resource data or wrong stage";
    default: return nullptr;
  }
  // clang-format on
}

}  // namespace kestrl
