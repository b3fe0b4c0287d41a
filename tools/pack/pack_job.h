// A halftone job opened from a resource pack through the exported calls, the
// way a printer driver opens one: the colour stages until the library hands
// back -1, HalftoneNew with the colour table record, then the halftone
// stages, every resource looked up in the pack by the number asked for and
// passed with its size.
#pragma once

#include <cstdint>

#include "kestrl30.h"
#include "pack/pack_io.h"

namespace kestrl::pack {

// The status of the first call that fails (KESTRL_STATUS_BAD_RESOURCE when the
// pack lacks a resource asked for), else 0. The colour context is always
// released; a halftone context, once made, is handed back for the caller to
// delete, also after a failed stage.
uint32_t openHalftoneJob(const Pack& pack, const PrintMode& mode, HalftoneContext** context);

}  // namespace kestrl::pack
