#include "halftone/engine.h"

namespace kestrl::halftone {

// Not built yet: selecting this engine fails with kUnsupportedMode and writes nothing.
Status ditherColorFourLevel(HalftoneContext&, const EngineTables&, const HalftoneRun&) {
  return kUnsupportedMode;
}
Status diffuseFourLevel1440(HalftoneContext&, const EngineTables&, const HalftoneRun&) {
  return kUnsupportedMode;
}
Status diffuseFourLevel(HalftoneContext&, const EngineTables&, const HalftoneRun&) {
  return kUnsupportedMode;
}
Status screenColorBilevel(HalftoneContext&, const EngineTables&, const HalftoneRun&) {
  return kUnsupportedMode;
}
Status screenColorBilevelDiffused(HalftoneContext&, const EngineTables&, const HalftoneRun&) {
  return kUnsupportedMode;
}

}  // namespace kestrl::halftone
