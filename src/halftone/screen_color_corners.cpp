#include "halftone/engine.h"

namespace kestrl::halftone {

// Not built yet: selecting this engine fails with kUnsupportedMode and writes nothing.
Status screenColorCorners(HalftoneContext&, const HalftoneRun&) { return kUnsupportedMode; }

}  // namespace kestrl::halftone
