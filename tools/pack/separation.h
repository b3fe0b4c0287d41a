// RGB-to-CMYK separations and the four-channel colour tables (black last)
// made from them: a plain one with grey-component replacement, and the
// default printer's, taken from its characterisation.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "pack/colour_blocks.h"
#include "pack/linearisation.h"

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

// The ink amounts a printer characterisation asks for, sampled for a colour
// table of `points` even levels per axis (0 none, 255 full ink).
struct Separation {
  uint32_t points = 0;
  std::vector<uint8_t> grid;   // points^3 nodes of C, M, Y, K; red slowest, blue fastest
  std::vector<uint8_t> black;  // per level v: black alone printing the grey (v, v, v)
};

// The default printer's separation: sRGB through its profile, perceptual
// intent. The data is made by `kestrl_pack_generator --separation` and kept
// in default_separation.inc, so that every build and target has the same
// bytes without the colour engine.
const Separation& defaultSeparation();

// A colour table of kind 1 from a separation, each grid channel passed
// through its curve and the black-alone grey levels through `greyCurve`
// (the composite grey nodes are the grid's neutral nodes).
ColourTable makeCharacterisedTable(const Separation& separation,
                                   const std::array<InkCurve, 4>& curves, const InkCurve& greyCurve,
                                   int16_t gainAtZero, int16_t gainAtFull);

// Whether a two-bit grey job can take the table's neutral axis: the library
// pads the black ramp it interpolates from the grey levels by a margin taken
// from the ramp's fall near white, and refuses a ramp whose margin comes to
// nothing (a fall steeper than about one level per level).
bool twoBitGreyRampUsable(const ColourTable& table);

// Lowers the grey level next to white until twoBitGreyRampUsable holds.
void makeTwoBitGreyRampUsable(ColourTable& table);

}  // namespace kestrl::pack
