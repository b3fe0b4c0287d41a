#include "colour/resource_stages.h"

namespace kestrl::colour {

// Not built yet: every stage is refused as a wrong stage.
Status setResource(CmContext*, ByteReader, int32_t*) { return kBadResource; }

}  // namespace kestrl::colour
