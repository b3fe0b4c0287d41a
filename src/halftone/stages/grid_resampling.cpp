#include "halftone/stages/grid_resampling.h"

namespace kestrl::halftone {

namespace {

void interpolateNode(const AxisTable& t, uint8_t x1, uint8_t x2, uint8_t x3, uint8_t* out) {
  const uint32_t n = t.points;
  const uint32_t c = t.channelCount;
  const uint8_t* low = t.data + ((t.cell[x1] * n + t.cell[x2]) * n + t.cell[x3]) * c;
  interpolate<Rounding::kNearest>(low, {n * n * c, n * c, c}, {t.frac[x1], t.frac[x2], t.frac[x3]},
                                  kFractionOne, c, out);
}

}  // namespace

bool levelsUsable(const uint8_t* levels, uint32_t points) {
  if (points < 2 || levels[0] != 0 || levels[points - 1] != 255) return false;
  for (uint32_t i = 1; i < points; ++i) {
    if (levels[i] <= levels[i - 1]) return false;
  }
  return true;
}

void buildAxisTable(const uint8_t* levels, uint32_t points, uint32_t channelCount,
                    const uint8_t* data, AxisTable& table) {
  table.points = points;
  table.channelCount = channelCount;
  table.data = data;
  AxisCells cells;
  cells.build(levels, points, PointLevel::kStartsCell);
  table.cell = cells.low;
  for (uint32_t v = 0; v < 256; ++v) {
    const uint32_t low = levels[table.cell[v]];
    const uint32_t width = levels[table.cell[v] + 1] - low;
    table.frac[v] = static_cast<uint8_t>(((v - low) * kFractionOne + width / 2) / width);
  }
}

void fillGrid(const AxisTable& table, const uint8_t* levels1, const uint8_t* levels2,
              const uint8_t* levels3, uint32_t newPoints, uint8_t* out) {
  for (uint32_t i1 = 0; i1 < newPoints; ++i1) {
    for (uint32_t i2 = 0; i2 < newPoints; ++i2) {
      for (uint32_t i3 = 0; i3 < newPoints; ++i3) {
        interpolateNode(table, levels1[i1], levels2[i2], levels3[i3], out);
        out += table.channelCount;
      }
    }
  }
}

}  // namespace kestrl::halftone
