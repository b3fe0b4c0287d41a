// The threshold-matrix access shared by the screening engines.
#pragma once

#include <cstdint>

namespace kestrl::halftone {

// The matrix row of a line, fixed once per call; columns are masked with
// width - 1 (stage 3 accepts only power-of-two widths).
struct MatrixRow {
  const uint16_t* cells;
  uint32_t columnMask;

  MatrixRow(const uint16_t* matrix, uint32_t width, uint32_t height, uint32_t lineNumber)
      : cells(matrix + (lineNumber % height) * width), columnMask(width - 1) {}

  uint32_t at(uint32_t x) const { return cells[x & columnMask]; }
};

}  // namespace kestrl::halftone
