#include "halftone/resource_stages.h"

namespace kestrl::halftone {

// Not built yet: every stage is refused as a wrong stage.
Status setResource(HalftoneContext*, ByteReader, int32_t*) { return kBadResource; }

}  // namespace kestrl::halftone
