#include "memory/platform.h"

#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace kestrl::platform {

#if defined(_WIN32)

namespace {
constexpr UINT kMovable = 0x0002;
constexpr UINT kMovableZeroed = 0x0042;
}  // namespace

void* allocateLocked(uint32_t size, bool zeroFill) {
  HGLOBAL handle = GlobalAlloc(zeroFill ? kMovableZeroed : kMovable, size);
  return handle ? GlobalLock(handle) : nullptr;
}

bool freeLocked(void* allocation) {
  HGLOBAL handle = GlobalHandle(allocation);
  GlobalUnlock(handle);
  return GlobalFree(handle) == nullptr;
}

void showMessage(const char* caption, const char* text) {
  MessageBoxA(nullptr, text, caption, MB_OK);
}

#else

void* allocateLocked(uint32_t size, bool zeroFill) {
  // A zero-byte request still yields a distinct, freeable allocation.
  const size_t bytes = size == 0 ? 1 : size;
  return zeroFill ? std::calloc(bytes, 1) : std::malloc(bytes);
}

bool freeLocked(void* allocation) {
  std::free(allocation);
  return true;
}

void showMessage(const char* caption, const char* text) {
  std::fprintf(stderr, "%s: %s\n", caption, text);
}

#endif

}  // namespace kestrl::platform
