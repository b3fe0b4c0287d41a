#include "halftone/engine.h"

namespace kestrl::halftone {

// Not built yet: selecting this engine fails with kUnsupportedMode and writes nothing.
Status ditherBilevel(HalftoneContext&, const HalftoneRun&) { return kUnsupportedMode; }
Status ditherFourLevel(HalftoneContext&, const HalftoneRun&) { return kUnsupportedMode; }

}  // namespace kestrl::halftone
