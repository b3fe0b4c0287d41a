// The built-in test picture of `kestrl demo`.
#pragma once

#include "kestrl/image_io.h"

namespace kestrl::tool {

// An RGB picture, width x (width * 5 / 8): a hue ramp running from white
// through full colour to black, ramps of red, green, blue, cyan, magenta and
// yellow from white to full, a grey ramp in 16 steps and a smooth one, a
// two-colour gradient, and a skin-tone patch with soft shading.
Image makeDemoImage(uint32_t width = 1024);

}  // namespace kestrl::tool
