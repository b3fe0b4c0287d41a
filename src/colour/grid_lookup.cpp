#include "colour/grid_lookup.h"

#include <algorithm>

namespace kestrl::colour {

namespace {

// The cell on one axis that holds a component: the first point from 1 on
// whose level is not below it, and the point before it.
struct AxisCell {
  uint32_t point;  // upper point of the cell
  uint32_t low;    // level of point - 1
  uint32_t span;   // level(point) - level(point - 1)
};

// The levels rise strictly and end at 255, so a binary search for the first
// level not below the component finds the same point as a walk from 1.
AxisCell findCell(const uint8_t* levels, int32_t points, uint8_t component) {
  const uint8_t* found = std::lower_bound(levels + 1, levels + points - 1, component);
  const auto p = static_cast<uint32_t>(found - levels);
  return {p, levels[p - 1], static_cast<uint32_t>(levels[p] - levels[p - 1])};
}

struct Corner {
  uint32_t dx, dy, dz;
};

// The four corners of the tetrahedron that holds (fa, fb, fc), and their
// weights; corner 0 is always N(0,0,0) and corner 3 always N(1,1,1). The
// comparisons decide ties exactly as the rows are ordered.
struct Tetrahedron {
  Corner corner[4];
  uint32_t weight[4];
};

Tetrahedron chooseTetrahedron(uint32_t w, uint32_t fa, uint32_t fb, uint32_t fc) {
  if (fb <= fa) {
    if (fc <= fb)
      return {{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}}, {w - fa, fa - fb, fb - fc, fc}};
    if (fc <= fa)
      return {{{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {1, 1, 1}}, {w - fa, fa - fc, fc - fb, fb}};
    return {{{0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}}, {w - fc, fc - fa, fa - fb, fb}};
  }
  if (fc <= fa)
    return {{{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 1, 1}}, {w - fb, fb - fa, fa - fc, fc}};
  if (fc <= fb)
    return {{{0, 0, 0}, {0, 1, 0}, {0, 1, 1}, {1, 1, 1}}, {w - fb, fb - fc, fc - fa, fa}};
  return {{{0, 0, 0}, {0, 0, 1}, {0, 1, 1}, {1, 1, 1}}, {w - fc, fc - fb, fb - fa, fa}};
}

}  // namespace

void lookUpPixels(const CmContext& context, const CmLut& lut, int32_t count, const uint8_t* source,
                  uint8_t* destination) {
  const uint32_t channels = lut.channelCount;
  const uint32_t pointsJ = static_cast<uint32_t>(lut.gridPoints[1]);
  const uint32_t pointsK = static_cast<uint32_t>(lut.gridPoints[2]);
  for (int32_t pixel = 0; pixel < count; ++pixel) {
    const AxisCell a =
        findCell(lut.breakpoints[0], lut.gridPoints[0], source[context.pixelOffset[0]]);
    const AxisCell b =
        findCell(lut.breakpoints[1], lut.gridPoints[1], source[context.pixelOffset[1]]);
    const AxisCell c =
        findCell(lut.breakpoints[2], lut.gridPoints[2], source[context.pixelOffset[2]]);
    const uint32_t w = a.span;
    const uint32_t fa = source[context.pixelOffset[0]] - a.low;
    const uint32_t fb = (source[context.pixelOffset[1]] - b.low) * w / b.span;
    const uint32_t fc = (source[context.pixelOffset[2]] - c.low) * w / c.span;
    const Tetrahedron t = chooseTetrahedron(w, fa, fb, fc);

    const uint8_t* node[4];
    for (int n = 0; n < 4; ++n) {
      const Corner& k = t.corner[n];
      const uint32_t index =
          ((a.point - 1 + k.dx) * pointsJ + (b.point - 1 + k.dy)) * pointsK + (c.point - 1 + k.dz);
      node[n] = lut.gridData + index * channels;
    }
    for (uint32_t ch = 0; ch < channels; ++ch) {
      const uint32_t sum = node[0][ch] * t.weight[0] + node[1][ch] * t.weight[1] +
                           node[2][ch] * t.weight[2] + node[3][ch] * t.weight[3];
      destination[ch] = static_cast<uint8_t>(sum / w);
    }
    source += context.pixelStride;
    destination += channels;
  }
}

void buildGreyRamp(const CmContext& context, CmLut& lut) {
  const uint32_t last = lut.channelCount - 1;
  uint8_t pixel[kPixelStride] = {};
  uint8_t out[256];  // channelCount is at most 255
  for (int v = 0; v < 256; ++v) {
    for (int16_t offset : context.pixelOffset) pixel[offset] = static_cast<uint8_t>(v);
    lookUpPixels(context, lut, 1, pixel, out);
    uint8_t y = out[last];
    if (v != 255 && lut.lutKind == 0 && y == 255) y = 254;
    if (v != 255 && lut.lutKind != 0 && y == 0) y = 1;
    lut.greyRamp[v] = y;
  }
}

}  // namespace kestrl::colour
