// The halftone engines: one function per screening or diffusion method, all
// with the same signature, chosen from the print mode when the context is
// made. How to add one: see engine_setup.h.
#pragma once

#include <cstdint>

#include "common/status.h"
#include "halftone/halftone_context.h"
#include "halftone/kernels/error_line.h"
#include "halftone/kernels/matrix_row.h"

namespace kestrl::halftone {

// inkSet 4: the source carries the four ink levels itself, four bytes a pixel.
inline constexpr uint32_t kInkSetFromSource = 4;

// The engine that serves a print mode (first matching row of the selection
// table), or kNone.
EngineId selectEngine(const PrintMode& mode);

// The engine's name, for messages and benchmarks.
const char* engineName(EngineId id);

// Checks shared by Halftone and most engines: 518 when the run ends past the
// line, then 522 for a non-zero reserved9. A run whose end does not fit in 32
// bits (startX + pixelCount wraps around) also ends past the line: taking the
// wrapped sum would let an engine write far outside its buffers.
inline Status checkRun(uint32_t lineWidth, const HalftoneRun& run) {
  const uint32_t runEnd = run.startX + run.pixelCount;
  if (runEnd < run.startX || runEnd > lineWidth) return kRunOutsideLine;
  if (run.reserved9 != 0) return kReserved9NotZero;
  return kOk;
}

// The screening engines' checks: 523 for a non-zero reserved10 first.
inline Status checkScreeningRun(uint32_t lineWidth, const HalftoneRun& run) {
  if (run.reserved10 != 0) return kReserved10NotZero;
  return checkRun(lineWidth, run);
}

// Opens a run of a grey error-spreading screening engine: the screening
// checks (523, 518, 522), then kBadParameter when the context has no error
// line (a mode whose stages made none), kBadResource when the tables are not
// ready, and only then the upkeep of beginScreenRun. Nothing is written
// unless the result is kOk.
inline Status openScreenRun(const EngineTables& tables, RunState& state, const HalftoneRun& run) {
  if (const Status status = checkScreeningRun(tables.lineWidth, run); status != kOk) return status;
  if (tables.errorLines[0].empty()) return kBadParameter;
  if (!tables.ready) return kBadResource;
  diffusion::beginScreenRun(state, tables.lineWidth, tables.errorLines[0], run);
  return kOk;
}

// The matrix row of a line.
inline MatrixRow matrixRowOf(const EngineTables& tables, uint32_t lineNumber) {
  return {tables.thresholdMatrix.data(), tables.matrixWidth, tables.matrixHeight, lineNumber};
}

// The engines, each as the instance that serves a print mode.
Engine ditherColorFourLevel(const PrintMode&);
Engine ditherFourLevel(const PrintMode&);
Engine diffuseFourLevel1440(const PrintMode&);
Engine diffuseFourLevel(const PrintMode&);
Engine screenFourLevel1440(const PrintMode&);
Engine screenFourLevel(const PrintMode&);
Engine ditherBilevel(const PrintMode&);
Engine screenColorBilevel(const PrintMode&);
Engine screenColorBilevelDiffused(const PrintMode&);
Engine screenColorCorners(const PrintMode&);
Engine screenBilevelDoubleVertical(const PrintMode&);
Engine screenBilevel1440(const PrintMode&);
Engine screenBilevel(const PrintMode&);
Engine diffuseBilevelDoubleVertical(const PrintMode&);
Engine diffuseBilevelCached1440(const PrintMode&);
Engine diffuseBilevelCached(const PrintMode&);
Engine diffuseBilevel1440(const PrintMode&);
Engine diffuseBilevel(const PrintMode&);

// The engines' own tables, built once per context.
void prepareDitherFourLevel(EngineTables& tables);
void prepareScreenColorCorners(EngineTables& tables);
void prepareDiffuseBilevel(EngineTables& tables);
void prepareDiffuseBilevel1440(EngineTables& tables);
void prepareDiffuseBilevelCached(EngineTables& tables);
void prepareDiffuseBilevelCached1440(EngineTables& tables);
void prepareDiffuseBilevelDoubleVertical(EngineTables& tables);
void prepareColourScreen(EngineTables& tables);     // the grid axis
void prepareFourLevelColour(EngineTables& tables);  // the grid axis and the dither thresholds
void prepareScreenBilevel(EngineTables& tables);    // the kernel rows by level, dot and parity
void prepareScreenBilevel1440(EngineTables& tables);
void prepareScreenBilevelDoubleVertical(EngineTables& tables);
void prepareScreenFourLevel(EngineTables& tables);  // the kernel rows by level and dot
void prepareScreenFourLevel1440(EngineTables& tables);
void prepareDiffuseFourLevel(EngineTables& tables);  // and the pattern rows by level
void prepareDiffuseFourLevel1440(EngineTables& tables);
void prepareColourScreenDiffused(EngineTables& tables);  // the grid axis and the pattern rows

// An engine, the tables it cannot run without, and how it prepares its own.
struct EngineDescriptor {
  Variant variant;
  uint32_t needs;   // Needs bits
  Prepare prepare;  // null when the engine derives nothing
};

// The descriptor of an engine other than kNone.
const EngineDescriptor& engineDescriptor(EngineId id);

// The Halftone call: the two run checks, the mode's engine, the bit offset,
// then the engine recorded in the context.
Status halftone(HalftoneContext* context, const HalftoneRun& run);

}  // namespace kestrl::halftone
