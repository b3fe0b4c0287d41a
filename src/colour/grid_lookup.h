// Integer tetrahedral lookup in the colour grid, and the grey ramp built
// from it.
#pragma once

#include <cstdint>

#include "colour/cm_context.h"
#include "common/tetrahedral.h"

namespace kestrl::colour {

// Bytes per pixel and component positions of the pixel rows given to the
// lookup: four bytes, components in bytes 1, 2 and 3.
inline constexpr int16_t kPixelStride = 4;
inline constexpr int16_t kPixelOffsets[3] = {1, 2, 3};

// The cell of every level on each axis of a grid, built once per grid.
struct GridCells {
  explicit GridCells(const CmLut& lut);
  AxisCells axis[3];
};

// Looks `count` pixels up in the grid of `lut`. Source pixels follow the
// context's pixelStride and pixelOffset; each destination pixel receives
// channelCount packed bytes. The grid must satisfy the table invariants
// (equal point counts, breakpoint rows rising strictly from 0 to 255).
void lookUpPixels(const CmContext& context, const CmLut& lut, const GridCells& cells, int32_t count,
                  const uint8_t* source, uint8_t* destination);
void lookUpPixels(const CmContext& context, const CmLut& lut, int32_t count, const uint8_t* source,
                  uint8_t* destination);

// For every level v the last channel at (v, v, v). Only entry 255 may be 0
// (kinds 1, 3) or 255 (kind 0): such values elsewhere become 1 or 254.
void buildGreyRamp(const CmContext& context, CmLut& lut);

}  // namespace kestrl::colour
