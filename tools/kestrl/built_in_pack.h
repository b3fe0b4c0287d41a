// The default resource pack, generated once at build time (see
// tools/generator) and embedded in the command: the same bytes as
// pack::makeDefaultPack(), without the fraction of a second it takes.
#pragma once

#include "pack/pack_io.h"

namespace kestrl::tool {

pack::Pack builtInPack();

}  // namespace kestrl::tool
