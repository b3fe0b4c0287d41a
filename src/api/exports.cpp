// The exported functions (listed in entry_points.inc): each forwards its
// arguments unchanged to the function that does the work and returns that
// function's result unchanged.
#include <cstring>

#include "colour/cm_context.h"
#include "colour/resource_stages.h"
#include "halftone/engine.h"
#include "halftone/halftone_context.h"
#include "halftone/stages/resource_stages.h"
#include "kestrl30.h"

extern "C" {

KESTRL_API KestrlStatus KESTRL_CALL CmNew(const ColorSettings* settings, const PrintMode* printMode,
                                          uint32_t reserved, int32_t* firstId,
                                          CmContext** context) {
  return kestrl::colour::cmNew(settings, printMode, reserved, firstId, context);
}

KESTRL_API KestrlStatus KESTRL_CALL CmSetResource(CmContext* context, const void* block,
                                                  int32_t* nextId) {
  return kestrl::colour::setResource(context, kestrl::ByteReader(block), nextId);
}

KESTRL_API KestrlStatus KESTRL_CALL CmSetResourceSized(CmContext* context, const void* block,
                                                       uint32_t blockSize, int32_t* nextId) {
  return kestrl::colour::setResource(context, kestrl::ByteReader(block, blockSize), nextId);
}

KESTRL_API KestrlStatus KESTRL_CALL CmGetAdjustStatus(CmContext* context) {
  return kestrl::colour::cmGetAdjustStatus(context);
}

KESTRL_API KestrlStatus KESTRL_CALL CmDelete(CmContext* context) {
  return kestrl::colour::cmDelete(context);
}

KESTRL_API CmLut* KESTRL_CALL CmGetLut(CmContext* context) {
  return kestrl::colour::cmGetLut(context);
}

KESTRL_API KestrlStatus KESTRL_CALL HalftoneNew(const PrintMode* printMode, const CmLut* lut,
                                                uint32_t reserved, int32_t* firstId,
                                                HalftoneContext** context) {
  return kestrl::halftone::halftoneNew(printMode, lut, reserved, firstId, context);
}

KESTRL_API KestrlStatus KESTRL_CALL HalftoneSetResource(HalftoneContext* context, const void* block,
                                                        int32_t* nextId) {
  return kestrl::halftone::setResource(context, kestrl::ByteReader(block), nextId);
}

KESTRL_API KestrlStatus KESTRL_CALL HalftoneSetResourceSized(HalftoneContext* context,
                                                             const void* block, uint32_t blockSize,
                                                             int32_t* nextId) {
  return kestrl::halftone::setResource(context, kestrl::ByteReader(block, blockSize), nextId);
}

KESTRL_API KestrlStatus KESTRL_CALL Halftone(HalftoneContext* context, const uint8_t* source,
                                             uint8_t* destination, uint32_t planeStride,
                                             uint32_t bitOffset, uint32_t pixelCount,
                                             uint32_t startX, uint32_t reserved7,
                                             uint32_t lineNumber, uint32_t reserved9,
                                             uint32_t reserved10) {
  const kestrl::halftone::HalftoneRun run{source, destination, planeStride, bitOffset, pixelCount,
                                          startX, reserved7,   lineNumber,  reserved9, reserved10};
  return kestrl::halftone::halftone(context, run);
}

KESTRL_API KestrlStatus KESTRL_CALL HalftoneDelete(HalftoneContext* context) {
  return kestrl::halftone::halftoneDelete(context);
}

}  // extern "C"

namespace {

struct EntryPoint {
  const char* plainName;
  const char* decoratedName;  // _A_, the name, @ and the argument bytes
  void* address;
};

// Casting a function pointer to void* is conditionally supported; every
// platform this library targets supports it, as dlsym and GetProcAddress do.
template <typename Function>
void* addressOf(Function* function) {
  return reinterpret_cast<void*>(function);
}

const EntryPoint kEntryPoints[] = {
#define KESTRL_ENTRY_POINT(name, argumentBytes) \
  {#name, "_A_" #name "@" #argumentBytes, addressOf(&name)},
#include "api/entry_points.inc"
#undef KESTRL_ENTRY_POINT
};

}  // namespace

extern "C" KESTRL_API void* Kestrl30ProcAddress(const char* name) {
  if (name == nullptr) return nullptr;
  for (const EntryPoint& entry : kEntryPoints) {
    if (std::strcmp(name, entry.plainName) == 0 || std::strcmp(name, entry.decoratedName) == 0) {
      return entry.address;
    }
  }
  return nullptr;
}
