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
#include "halftone/kernels/run.h"

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
void beginScreenRun(RunState& state, uint32_t lineWidth, const ErrorLine& line,
                    const HalftoneRun& run);

}  // namespace kestrl::halftone::diffusion
