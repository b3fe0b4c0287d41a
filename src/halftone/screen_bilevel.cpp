#include "halftone/engine.h"

namespace kestrl::halftone {

// Not built yet: selecting this engine fails with kUnsupportedMode and writes nothing.
Status screenBilevelDoubleVertical(HalftoneContext&, const HalftoneRun&) { return kUnsupportedMode; }
Status screenBilevel1440(HalftoneContext&, const HalftoneRun&) { return kUnsupportedMode; }
Status screenBilevel(HalftoneContext&, const HalftoneRun&) { return kUnsupportedMode; }

}  // namespace kestrl::halftone
