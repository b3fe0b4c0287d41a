// The staged loading of the colour resources: directory, colour table and
// the calibration sequence.
#pragma once

#include <cstdint>

#include "colour/cm_context.h"
#include "common/status.h"
#include "memory/byte_reader.h"

namespace kestrl::colour {

// Runs the current stage on a block and writes the id of the next resource,
// -1 after the last.
Status setResource(CmContext* context, ByteReader block, int32_t* nextId);

}  // namespace kestrl::colour
