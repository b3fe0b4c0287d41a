#include "colour/grid_lookup.h"

#include <array>

namespace kestrl::colour {

GridCells::GridCells(const CmLut& lut) {
  for (int k = 0; k < 3; ++k) {
    axis[k].build(lut.breakpoints[k], static_cast<uint32_t>(lut.gridPoints[k]),
                  PointLevel::kEndsCell);
  }
}

// The first axis's fraction counts in levels, so the cell's width on it is
// the unit; the other two are scaled to that unit, rounding down.
void lookUpPixels(const CmContext& context, const CmLut& lut, const GridCells& cells, int32_t count,
                  const uint8_t* source, uint8_t* destination) {
  const uint32_t channels = lut.channelCount;
  const uint32_t pointsJ = static_cast<uint32_t>(lut.gridPoints[1]);
  const uint32_t pointsK = static_cast<uint32_t>(lut.gridPoints[2]);
  const std::array<uint32_t, 3> step = {pointsJ * pointsK * channels, pointsK * channels, channels};
  for (int32_t pixel = 0; pixel < count; ++pixel) {
    uint32_t low[3], offset[3], width[3];
    for (int k = 0; k < 3; ++k) {
      const uint8_t v = source[context.pixelOffset[k]];
      low[k] = cells.axis[k].low[v];
      const uint8_t* levels = lut.breakpoints[k];
      offset[k] = v - levels[low[k]];
      width[k] = static_cast<uint32_t>(levels[low[k] + 1] - levels[low[k]]);
    }
    const uint32_t one = width[0];
    const std::array<uint32_t, 3> f = {offset[0], offset[1] * one / width[1],
                                       offset[2] * one / width[2]};
    const uint8_t* node =
        lut.gridData + ((low[0] * pointsJ + low[1]) * pointsK + low[2]) * channels;
    interpolate<Rounding::kDown>(node, step, f, one, channels, destination);
    source += context.pixelStride;
    destination += channels;
  }
}

void lookUpPixels(const CmContext& context, const CmLut& lut, int32_t count, const uint8_t* source,
                  uint8_t* destination) {
  lookUpPixels(context, lut, GridCells(lut), count, source, destination);
}

void buildGreyRamp(const CmContext& context, CmLut& lut) {
  const uint32_t last = lut.channelCount - 1;
  uint8_t pixel[kPixelStride] = {};
  uint8_t out[256];  // channelCount is at most 255
  const GridCells cells(lut);
  for (int v = 0; v < 256; ++v) {
    for (int16_t offset : context.pixelOffset) pixel[offset] = static_cast<uint8_t>(v);
    lookUpPixels(context, lut, cells, 1, pixel, out);
    uint8_t y = out[last];
    if (v != 255 && lut.lutKind == 0 && y == 255) y = 254;
    if (v != 255 && lut.lutKind != 0 && y == 0) y = 1;
    lut.greyRamp[v] = y;
  }
}

}  // namespace kestrl::colour
