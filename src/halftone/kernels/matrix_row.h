// The threshold-matrix access shared by the screening engines.
#pragma once

#include <cstdint>

#include "halftone/halftone_context.h"

namespace kestrl::halftone {

// The matrix row of a line, fixed once per call; columns are masked with
// width - 1 (stage 3 accepts only power-of-two widths).
struct MatrixRow {
  const uint16_t* cells;
  uint32_t columnMask;

  MatrixRow(const EngineTables& tables, uint32_t lineNumber)
      : cells(tables.thresholdMatrix.data() +
              (lineNumber % tables.matrixHeight) * tables.matrixWidth),
        columnMask(tables.matrixWidth - 1) {}

  uint32_t at(uint32_t x) const { return cells[x & columnMask]; }
};

// True when stage 3 has left a threshold matrix and its level table. After a
// failed stage the owned blocks are released (their data is null) while the
// level table, a view, may still point into freed memory; the matrix block
// is therefore the one to test.
inline bool hasMatrixTables(const HalftoneContext& context) {
  return context.blocks[kThresholdMatrixBlock].data != nullptr && context.matrixWidth != 0 &&
         context.matrixHeight != 0;
}

}  // namespace kestrl::halftone
