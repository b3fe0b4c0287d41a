#include "pack/separation.h"

#include <algorithm>

namespace kestrl::pack {

namespace {
constexpr uint8_t kNeutralAxisKind = 1;
}

void separateCmyk(uint8_t r, uint8_t g, uint8_t b, uint8_t* cmyk) {
  const int c = 255 - r, m = 255 - g, y = 255 - b;
  const int grey = std::min({c, m, y});
  const int k = grey * grey / 255;
  cmyk[0] = static_cast<uint8_t>(c - k);
  cmyk[1] = static_cast<uint8_t>(m - k);
  cmyk[2] = static_cast<uint8_t>(y - k);
  cmyk[3] = static_cast<uint8_t>(k);
}

ColourTable makeSeparationTable(uint32_t points, int16_t gainAtZero, int16_t gainAtFull) {
  ColourTable table = makeColourTable(points, 4, separateCmyk);
  table.lutKind = kNeutralAxisKind;
  table.scaleParams = {gainAtZero, gainAtFull, 0, 0, 0};
  for (size_t i = 0; i < table.greyLevels.size(); ++i) {
    table.greyLevels[i] = static_cast<uint8_t>(255 - table.levels[0][i]);
  }
  return table;
}

}  // namespace kestrl::pack
