// The halftone engines: one function per screening or diffusion method, all
// with the same signature, chosen from the print mode when the context is
// made. How to add one: see engine_setup.h.
#pragma once

#include <cstdint>

#include "common/status.h"
#include "halftone/halftone_context.h"

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
inline Status checkRun(const HalftoneContext& context, const HalftoneRun& run) {
  const uint32_t runEnd = run.startX + run.pixelCount;
  if (runEnd < run.startX || runEnd > context.printMode.lineWidth) return kRunOutsideLine;
  if (run.reserved9 != 0) return kReserved9NotZero;
  return kOk;
}

// The screening engines' checks: 523 for a non-zero reserved10 first.
inline Status checkScreeningRun(const HalftoneContext& context, const HalftoneRun& run) {
  if (run.reserved10 != 0) return kReserved10NotZero;
  return checkRun(context, run);
}

// The engines. Each returns the status of its own checks.
Status ditherColorFourLevel(HalftoneContext&, const EngineTables&, const HalftoneRun&);
Status ditherFourLevel(HalftoneContext&, const EngineTables&, const HalftoneRun&);
Status diffuseFourLevel1440(HalftoneContext&, const EngineTables&, const HalftoneRun&);
Status diffuseFourLevel(HalftoneContext&, const EngineTables&, const HalftoneRun&);
Status screenFourLevel1440(HalftoneContext&, const EngineTables&, const HalftoneRun&);
Status screenFourLevel(HalftoneContext&, const EngineTables&, const HalftoneRun&);
Status ditherBilevel(HalftoneContext&, const EngineTables&, const HalftoneRun&);
Status screenColorBilevel(HalftoneContext&, const EngineTables&, const HalftoneRun&);
Status screenColorBilevelDiffused(HalftoneContext&, const EngineTables&, const HalftoneRun&);
Status screenColorCorners(HalftoneContext&, const EngineTables&, const HalftoneRun&);
Status screenBilevelDoubleVertical(HalftoneContext&, const EngineTables&, const HalftoneRun&);
Status screenBilevel1440(HalftoneContext&, const EngineTables&, const HalftoneRun&);
Status screenBilevel(HalftoneContext&, const EngineTables&, const HalftoneRun&);
Status diffuseBilevelDoubleVertical(HalftoneContext&, const EngineTables&, const HalftoneRun&);
Status diffuseBilevelCached1440(HalftoneContext&, const EngineTables&, const HalftoneRun&);
Status diffuseBilevelCached(HalftoneContext&, const EngineTables&, const HalftoneRun&);
Status diffuseBilevel1440(HalftoneContext&, const EngineTables&, const HalftoneRun&);
Status diffuseBilevel(HalftoneContext&, const EngineTables&, const HalftoneRun&);

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

// An engine, the tables it cannot run without, and how it prepares its own.
struct EngineDescriptor {
  Engine engine;
  uint32_t needs;   // Needs bits
  Prepare prepare;  // null when the engine derives nothing
};

// The descriptor of an engine other than kNone.
const EngineDescriptor& engineDescriptor(EngineId id);

// The Halftone call: the two run checks, the mode's engine, the bit offset,
// then the engine recorded in the context.
Status halftone(HalftoneContext* context, const HalftoneRun& run);

}  // namespace kestrl::halftone
