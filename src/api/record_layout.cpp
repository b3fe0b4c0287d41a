// Compile-time checks that the public records have the layout the driver
// expects: in a 32-bit build every field is one 32-bit word (or the stated
// arrays), with no padding.
#include <cstddef>

#include "kestrl30.h"

static_assert(sizeof(PrintMode) == 44);
static_assert(offsetof(PrintMode, lineWidth) == 36);
static_assert(offsetof(ColorSettings, tagList) == 56);
static_assert(offsetof(CmLut, breakpoints) == 60);
static_assert(offsetof(CmLut, greyRamp) == 264);
static_assert(offsetof(CmLut, gridData) % sizeof(void*) == 0);

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ColorSettings) == 60);
static_assert(sizeof(MemoryBlock) == 12);
static_assert(sizeof(CmLut) == 548);
static_assert(sizeof(CmTagPair) == 8);
#endif
