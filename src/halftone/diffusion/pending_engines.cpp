#include "halftone/engine.h"

namespace kestrl::halftone {

// Not built yet: selecting this engine fails with kUnsupportedMode and writes nothing.
Status ditherColorFourLevel(HalftoneContext&, const HalftoneRun&) { return kUnsupportedMode; }
Status diffuseFourLevel1440(HalftoneContext&, const HalftoneRun&) { return kUnsupportedMode; }
Status diffuseFourLevel(HalftoneContext&, const HalftoneRun&) { return kUnsupportedMode; }
Status screenColorBilevel(HalftoneContext&, const HalftoneRun&) { return kUnsupportedMode; }
Status screenColorBilevelDiffused(HalftoneContext&, const HalftoneRun&) { return kUnsupportedMode; }
Status diffuseBilevelDoubleVertical(HalftoneContext&, const HalftoneRun&) { return kUnsupportedMode; }
Status diffuseBilevelCached1440(HalftoneContext&, const HalftoneRun&) { return kUnsupportedMode; }
Status diffuseBilevelCached(HalftoneContext&, const HalftoneRun&) { return kUnsupportedMode; }
Status diffuseBilevel1440(HalftoneContext&, const HalftoneRun&) { return kUnsupportedMode; }
Status diffuseBilevel(HalftoneContext&, const HalftoneRun&) { return kUnsupportedMode; }

}  // namespace kestrl::halftone
