#include "halftone/stages/grid_resampling.h"

namespace kestrl::halftone {

namespace {

// The axis order of the tetrahedron that holds a point: the axis with the
// largest fraction first. Ties go to the earlier rows of the tetrahedron
// table (first axis before second before third); a tie gives a zero weight
// to the vertex in question, so the result does not depend on it.
struct AxisOrder {
  uint8_t first, second, third;
};

AxisOrder tetrahedron(uint32_t f1, uint32_t f2, uint32_t f3) {
  if (f2 <= f1) {
    if (f3 <= f2) return {0, 1, 2};
    if (f3 <= f1) return {0, 2, 1};
    return {2, 0, 1};
  }
  if (f3 <= f1) return {1, 0, 2};
  if (f3 <= f2) return {1, 2, 0};
  return {2, 1, 0};
}

void interpolateNode(const AxisTable& t, uint8_t x1, uint8_t x2, uint8_t x3, uint8_t* out) {
  const uint32_t n = t.points;
  const uint32_t c = t.channelCount;
  const uint32_t step[3] = {n * n * c, n * c, c};
  const uint32_t f[3] = {t.frac[x1], t.frac[x2], t.frac[x3]};
  const AxisOrder o = tetrahedron(f[0], f[1], f[2]);
  const uint8_t* base = t.data + ((t.cell[x1] * n + t.cell[x2]) * n + t.cell[x3]) * c;
  const uint8_t* v1 = base + step[o.first];
  const uint8_t* v2 = v1 + step[o.second];
  const uint8_t* v3 = v2 + step[o.third];
  const uint32_t w0 = 128 - f[o.first];
  const uint32_t w1 = f[o.first] - f[o.second];
  const uint32_t w2 = f[o.second] - f[o.third];
  const uint32_t w3 = f[o.third];
  for (uint32_t k = 0; k < c; ++k) {
    const uint32_t sum = w0 * base[k] + w1 * v1[k] + w2 * v2[k] + w3 * v3[k];
    out[k] = static_cast<uint8_t>((sum + 64) >> 7);
  }
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
  uint32_t v = 0;
  for (uint32_t i = 1; v <= 255; ++i) {
    const uint32_t low = levels[i - 1];
    const uint32_t width = levels[i] - low;
    while (v <= 255 && (levels[i] > v || v == 255)) {
      table.cell[v] = static_cast<uint8_t>(i - 1);
      table.frac[v] = static_cast<uint8_t>(((v - low) * 128 + width / 2) / width);
      ++v;
    }
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
