#include "halftone/engine.h"

namespace kestrl::halftone {

// Not built yet: selecting this engine fails with kUnsupportedMode and writes nothing.
Status screenFourLevel1440(HalftoneContext&, const HalftoneRun&) { return kUnsupportedMode; }
Status screenFourLevel(HalftoneContext&, const HalftoneRun&) { return kUnsupportedMode; }

}  // namespace kestrl::halftone
