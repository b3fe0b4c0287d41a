// The platform layer under the memory blocks: raw allocation, release and the
// one user-visible message the library ever shows.
//
// On Windows these are the global-memory functions and a message box. Other
// systems get an allocator over the C heap and a message sink that writes the
// caption and the text to standard error as one line.
#pragma once

#include <cstdint>

namespace kestrl::platform {

// Allocates a movable block (zero-filled when asked) and returns its locked
// pointer, which identifies the allocation from then on; null on failure.
void* allocateLocked(uint32_t size, bool zeroFill);

// Unlocks and frees an allocation made by allocateLocked; true on success.
bool freeLocked(void* allocation);

// Shows a message to the user (a message box with one OK button on Windows).
void showMessage(const char* caption, const char* text);

}  // namespace kestrl::platform
