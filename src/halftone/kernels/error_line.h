// Error lines: whether a context holds them, how a cell is read and added to,
// and their upkeep between runs.
//
// An error line holds one signed 16-bit cell per pixel, in 32nds of a level,
// with a margin of kErrorLineMargin cells at each end. One line serves the
// line being worked on (cells right of the current pixel) and the next one
// (cells already consumed). Every addition wraps at 16 bits (addWrapped16).
//
// Stage 1 makes 0, 1 or 4 error lines depending on the mode; mode 2 with
// one-bit output is counted among the plain modes there (no line for grey
// input, one for colour input) although the selection table hands it to the
// engines that spread error. Those engines refuse the run with kBadParameter,
// writing nothing, when their lines are missing.
#pragma once

#include <cstdint>

#include "common/arithmetic.h"
#include "halftone/engine.h"
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

namespace kestrl::halftone::diffusion {

// How the error that has reached a pixel is read from its cell.
enum class CellRead : uint8_t {
  kShift,   // arithmetic shift right by 5: the floor of cell / 32 (one-bit engines)
  kDivide,  // division by 32 truncated toward zero (two-bit engines)
};

template <CellRead read>
constexpr int32_t readCell(int16_t cell) {
  if constexpr (read == CellRead::kShift) {
    return cell >> 5;
  } else {
    return cell / 32;
  }
}

// Adds weight x amount to a cell; the product and the sum keep their low 16 bits.
inline void addToCell(int16_t& cell, int32_t weight, int32_t amount) {
  addWrapped16(cell, wrapMul(weight, amount));
}

// Sets cells from .. to - 1 (pixel positions) to 0.
void clearCells(int16_t* line, uint32_t from, uint32_t to);

// The upkeep at the start of a screening run, after its checks passed:
// stores lastRunEnd and lastLine, then clears the whole line for line -1, or,
// on every sixteenth line (low four bits all 1), the cells between the end
// of the previous run and this run's start, which no run has consumed. A
// previous run that ended at the line's end counts as ending at 0.
void beginScreenRun(HalftoneContext& context, const ErrorLine& line, const HalftoneRun& run);

// Opens a run of a grey error-spreading screening engine: the screening
// checks (523, 518, 522), then kBadParameter when the context has no error
// line (a mode whose stages made none), kBadResource when the tables are not
// ready, and only then the upkeep of beginScreenRun. Nothing is written
// unless the result is kOk.
inline Status openScreenRun(HalftoneContext& context, const EngineTables& tables,
                            const HalftoneRun& run) {
  if (const Status status = checkScreeningRun(context, run); status != kOk) return status;
  if (tables.errorLines[0].empty()) return kBadParameter;
  if (!tables.ready) return kBadResource;
  beginScreenRun(context, tables.errorLines[0], run);
  return kOk;
}

}  // namespace kestrl::halftone::diffusion
