// The staged loading of the halftone resources.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/status.h"
#include "halftone/halftone_context.h"
#include "memory/byte_reader.h"

namespace kestrl::halftone {

// Runs the next stage on a block of known (or unknown) size and writes the
// id of the next resource, -1 after the last.
Status setResource(HalftoneContext* context, ByteReader block, int32_t* nextId);

}  // namespace kestrl::halftone
