/* Compiled as a 32-bit x86 translation unit (syntax only): the records have
 * exactly the sizes the 32-bit words imply and the entry points take the
 * stdcall convention. */
#include <stddef.h>

#include "kestrl30.h"

_Static_assert(sizeof(void*) == 4, "compiled as 32-bit");
_Static_assert(sizeof(PrintMode) == 44, "PrintMode is 44 bytes");
_Static_assert(sizeof(ColorSettings) == 60, "ColorSettings is 60 bytes");
_Static_assert(sizeof(MemoryBlock) == 12, "MemoryBlock is 12 bytes");
_Static_assert(sizeof(CmLut) == 548, "CmLut is 548 bytes");
_Static_assert(offsetof(CmLut, selfBlock) == 544, "selfBlock is the last word");

typedef KestrlStatus(__attribute__((stdcall)) * HalftoneFunction)(HalftoneContext*, const uint8_t*,
                                                                  uint8_t*, uint32_t, uint32_t,
                                                                  uint32_t, uint32_t, uint32_t,
                                                                  uint32_t, uint32_t, uint32_t);
/* Converts without a cast only if the entry point is stdcall. */
HalftoneFunction halftoneEntry(void) {
  return Halftone;
}
