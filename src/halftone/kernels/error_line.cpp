#include "halftone/kernels/error_line.h"

#include <algorithm>

namespace kestrl::halftone::diffusion {

void clearCells(int16_t* line, uint32_t from, uint32_t to) {
  if (from < to) std::fill(line + from, line + to, int16_t{0});
}

void beginScreenRun(RunState& state, uint32_t lineWidth, const ErrorLine& errorLine,
                    const HalftoneRun& run) {
  const uint32_t previousEnd = state.lastRunEnd == lineWidth ? 0 : state.lastRunEnd;
  state.lastRunEnd = run.startX + run.pixelCount;
  state.lastLine = run.lineNumber;
  int16_t* line = errorLine.atPixel0();
  if (run.lineNumber == kRestartLine) {
    clearCells(line, 0, lineWidth);
  } else if ((run.lineNumber & 15u) == 15u && previousEnd < run.startX) {
    clearCells(line, previousEnd, run.startX);
  }
}

}  // namespace kestrl::halftone::diffusion
