// A plain RGB-to-CMYK separation with grey-component replacement, and the
// four-channel colour table (black last) made from it.
#pragma once

#include <cstdint>

#include "pack/colour_blocks.h"

namespace kestrl::pack {

// Cyan, magenta, yellow and black amounts (0 none, 255 full) for an RGB
// colour (255 full intensity). The grey component g = min(C, M, Y) of the
// complementary colour is replaced by black in proportion to its darkness:
// K = g^2 / 255, taken out of C, M and Y alike. Light greys stay mostly
// composite, dark greys and black are printed with black ink alone.
void separateCmyk(uint8_t r, uint8_t g, uint8_t b, uint8_t* cmyk);

// A colour table of `points` even levels per axis from the separation: kind
// 1 (its neutral axis may be reduced to black), the grey levels printing the
// neutral axis with black alone (K = 255 - v), the composite grey nodes as
// separated, and the given ink-gain percentages.
ColourTable makeSeparationTable(uint32_t points, int16_t gainAtZero, int16_t gainAtFull);

}  // namespace kestrl::pack
