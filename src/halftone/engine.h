// The halftone engines: one function per screening or diffusion method, all
// with the same signature, chosen per call from the print mode.
#pragma once

#include <cstdint>

#include "api/status.h"
#include "halftone/halftone_context.h"

namespace kestrl::halftone {

// The arguments of one Halftone call after the context.
struct HalftoneRun {
  const uint8_t* source;
  uint8_t* destination;
  uint32_t planeStride;
  uint32_t bitOffset;
  uint32_t pixelCount;
  uint32_t startX;
  uint32_t reserved7;
  uint32_t lineNumber;
  uint32_t reserved9;
  uint32_t reserved10;
};

// All lines are numbered from 0; this value asks error-line engines to clear
// their line and start afresh.
inline constexpr uint32_t kRestartLine = 0xFFFFFFFFu;

using Engine = Status (*)(HalftoneContext& context, const HalftoneRun& run);

// The eighteen engines, in the order of the selection table.
enum class EngineId : uint8_t {
  kDitherColorFourLevel,
  kDitherFourLevel,
  kDiffuseFourLevel1440,
  kDiffuseFourLevel,
  kScreenFourLevel1440,
  kScreenFourLevel,
  kDitherBilevel,
  kScreenColorBilevel,
  kScreenColorBilevelDiffused,
  kScreenColorCorners,
  kScreenBilevelDoubleVertical,
  kScreenBilevel1440,
  kScreenBilevel,
  kDiffuseBilevelDoubleVertical,
  kDiffuseBilevelCached1440,
  kDiffuseBilevelCached,
  kDiffuseBilevel1440,
  kDiffuseBilevel,
  kNone,  // no engine: two-bit output in a mode other than 1 or 3
};
inline constexpr int kEngineCount = static_cast<int>(EngineId::kNone);

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
Status ditherColorFourLevel(HalftoneContext&, const HalftoneRun&);
Status ditherFourLevel(HalftoneContext&, const HalftoneRun&);
Status diffuseFourLevel1440(HalftoneContext&, const HalftoneRun&);
Status diffuseFourLevel(HalftoneContext&, const HalftoneRun&);
Status screenFourLevel1440(HalftoneContext&, const HalftoneRun&);
Status screenFourLevel(HalftoneContext&, const HalftoneRun&);
Status ditherBilevel(HalftoneContext&, const HalftoneRun&);
Status screenColorBilevel(HalftoneContext&, const HalftoneRun&);
Status screenColorBilevelDiffused(HalftoneContext&, const HalftoneRun&);
Status screenColorCorners(HalftoneContext&, const HalftoneRun&);
Status screenBilevelDoubleVertical(HalftoneContext&, const HalftoneRun&);
Status screenBilevel1440(HalftoneContext&, const HalftoneRun&);
Status screenBilevel(HalftoneContext&, const HalftoneRun&);
Status diffuseBilevelDoubleVertical(HalftoneContext&, const HalftoneRun&);
Status diffuseBilevelCached1440(HalftoneContext&, const HalftoneRun&);
Status diffuseBilevelCached(HalftoneContext&, const HalftoneRun&);
Status diffuseBilevel1440(HalftoneContext&, const HalftoneRun&);
Status diffuseBilevel(HalftoneContext&, const HalftoneRun&);

// The Halftone call: the two run checks, then the selected engine.
Status halftone(HalftoneContext* context, const HalftoneRun& run);

}  // namespace kestrl::halftone
