// How large a picture prints and how many printer pixels that makes.
#pragma once

#include <cstdint>
#include <string>

#include "kestrl/paper.h"

namespace kestrl::tool {

// Margin on every side of the paper unless --margin says otherwise: what
// most desktop inkjet printers cannot print on.
inline constexpr double kDefaultMarginInches = 0.25;

// What the command line asks for. A width or a height alone keeps the
// picture's proportions; both given set each side.
struct PrintRequest {
  double width = 0, height = 0;  // inches; 0 when not given
  Paper paper{"Letter", 8.5, 11};
  double margin = kDefaultMarginInches;
};

enum class SizeBasis {
  kAsked,          // --print-width / --print-height
  kOwnResolution,  // the resolution the picture carries
  kFitted,         // fitted to the paper's printable area
};

struct PrintSize {
  double widthInches = 0, heightInches = 0;
  uint32_t width = 0, height = 0;  // printer pixels
  SizeBasis basis = SizeBasis::kFitted;
};

// The print size of a picture of `pixelsWide` x `pixelsHigh` whose own size
// is `ownWidth` x `ownHeight` inches (0 when it states no resolution), on
// the grid of `xResolution` x `yResolution` dots per inch. The grid keeps
// the picture's proportions within one printer pixel. False with the reason
// when the paper leaves no printable area or the page would be empty.
bool printSize(uint32_t pixelsWide, uint32_t pixelsHigh, double ownWidth, double ownHeight,
               const PrintRequest& request, uint32_t xResolution, uint32_t yResolution,
               PrintSize& size, std::string& error);

// "8.00 x 5.33 in (203.20 x 135.47 mm)".
std::string describeInches(double widthInches, double heightInches);

}  // namespace kestrl::tool
