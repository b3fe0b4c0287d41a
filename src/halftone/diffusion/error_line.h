// The error line of the grey screening engines and its upkeep between runs.
//
// An error line holds one signed 16-bit cell per pixel, in 32nds of a level,
// with a margin of kErrorLineMargin cells at each end. One line serves the
// line being worked on (cells right of the current pixel) and the next one
// (cells already consumed). Every addition wraps at 16 bits (addWrapped16).
#pragma once

#include <cstdint>

#include "api/arithmetic.h"
#include "halftone/engine.h"
#include "halftone/halftone_context.h"

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
void beginScreenRun(HalftoneContext& context, const HalftoneRun& run);

// Opens a run of an error-spreading screening engine: the screening checks
// (523, 518, 522), then kBadParameter when the context has no error line (a
// mode whose stages made none), kBadResource when the engine's tables are not
// all there, and only then the upkeep of beginScreenRun. Nothing is written
// unless the result is kOk.
template <typename TablesReady>
Status openScreenRun(HalftoneContext& context, const HalftoneRun& run, TablesReady tablesReady);

}  // namespace kestrl::halftone::diffusion

#include "halftone/error_lines.h"

namespace kestrl::halftone::diffusion {

template <typename TablesReady>
Status openScreenRun(HalftoneContext& context, const HalftoneRun& run, TablesReady tablesReady) {
  if (const Status status = checkScreeningRun(context, run); status != kOk) return status;
  if (!hasErrorLines(context, 1)) return kBadParameter;
  if (!tablesReady(context)) return kBadResource;
  beginScreenRun(context, run);
  return kOk;
}

}  // namespace kestrl::halftone::diffusion
