#include "pack/separation.h"

#include <algorithm>
#include <stdexcept>

namespace kestrl::pack {

namespace {

constexpr uint8_t kNeutralAxisKind = 1;

#include "pack/default_separation.inc"

}  // namespace

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

const Separation& defaultSeparation() {
  static const Separation kSeparation{
      kDefaultSeparationPoints,
      {std::begin(kDefaultSeparationGrid), std::end(kDefaultSeparationGrid)},
      {std::begin(kDefaultSeparationBlack), std::end(kDefaultSeparationBlack)}};
  return kSeparation;
}

ColourTable makeCharacterisedTable(const Separation& s, const std::array<InkCurve, 4>& curves,
                                   const InkCurve& greyCurve, int16_t gainAtZero,
                                   int16_t gainAtFull) {
  const size_t n = s.points;
  if (s.grid.size() != n * n * n * 4 || s.black.size() != n)
    throw std::invalid_argument(
        "a separation needs points^3 x 4 grid bytes and points black levels");
  const std::vector<uint8_t> levels = evenLevels(s.points);
  // Node (r, g, b) sits where the even levels put it.
  std::vector<size_t> index(256);
  for (size_t i = 0; i < n; ++i) index[levels[i]] = i;
  ColourTable table =
      makeColourTable(s.points, 4, [&](uint8_t r, uint8_t g, uint8_t b, uint8_t* out) {
        const uint8_t* node = &s.grid[((index[r] * n + index[g]) * n + index[b]) * 4];
        for (int c = 0; c < 4; ++c) out[c] = curves[c][node[c]];
      });
  table.lutKind = kNeutralAxisKind;
  table.scaleParams = {gainAtZero, gainAtFull, 0, 0, 0};
  for (size_t i = 0; i < n; ++i) table.greyLevels[i] = greyCurve[s.black[i]];
  return table;
}

bool twoBitGreyRampUsable(const ColourTable& table) {
  // The black ramp as the colour side interpolates it along the neutral axis
  // (a kind-1 table holds no 0 below white).
  const std::vector<uint8_t>& levels = table.levels[0];
  std::array<uint32_t, 256> ramp{};
  size_t i = 1;
  for (uint32_t v = 0; v < 256; ++v) {
    while (i + 1 < levels.size() && levels[i] < v) ++i;
    const uint32_t low = levels[i - 1], w = levels[i] - low, fa = v > low ? v - low : 0;
    ramp[v] = (table.greyLevels[i - 1] * (w - fa) + table.greyLevels[i] * fa) / w;
    if (v != 255 && ramp[v] == 0) ramp[v] = 1;
  }
  for (uint32_t v = 255; v >= 1; --v) {
    if (ramp[v] <= 3 && ramp[v - 1] >= 4)
      return ((2 * (256 - v)) / (ramp[v - 1] + ramp[v]) + 1) / 2 > 0;
  }
  return false;
}

void makeTwoBitGreyRampUsable(ColourTable& table) {
  uint8_t& nextToWhite = table.greyLevels[table.greyLevels.size() - 2];
  while (!twoBitGreyRampUsable(table) && nextToWhite > 4) --nextToWhite;
}

}  // namespace kestrl::pack
