// Whether a context holds the error lines an error-spreading engine works on.
//
// Stage 1 makes 0, 1 or 4 error lines depending on the mode; mode 2 with
// one-bit output is counted among the plain modes there (no line for grey
// input, one for colour input) although the dispatcher hands it to the
// engines that spread error. Those engines call hasErrorLines first and
// refuse the run with kBadParameter, writing nothing, when it is false.
#pragma once

#include <cstdint>

#include "halftone/halftone_context.h"

namespace kestrl::halftone {

// True when error lines 0 to needed - 1 exist and each has room for a cell per
// pixel of the line plus both margins. A released table (after a failed
// stage) has no lines: entry 1 owns the memory that views 2 to 4 point into.
inline bool hasErrorLines(const HalftoneContext& context, uint32_t needed) {
  if (needed > kErrorLineCount || context.bufferCount < needed) return false;
  if (needed > 0 && context.blocks[kFirstErrorLineBlock].data == nullptr) return false;
  const uint64_t bytesNeeded =
      (uint64_t{context.printMode.lineWidth} + 2 * kErrorLineMargin) * sizeof(int16_t);
  for (uint32_t k = 0; k < needed; ++k) {
    const MemoryBlock& line = context.blocks[kFirstErrorLineBlock + k];
    if (line.data == nullptr || line.size < bytesNeeded) return false;
  }
  return true;
}

}  // namespace kestrl::halftone
