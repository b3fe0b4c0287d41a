// Blue-noise threshold matrices by the void-and-cluster method: every cell
// gets a distinct rank 0 .. cells-1, and the cells of ranks below any level
// form an evenly spread dot pattern with no low-frequency clumps.
#pragma once

#include <cstdint>

#include "pack/halftone_blocks.h"

namespace kestrl::pack {

struct VoidAndClusterOptions {
  uint32_t width = 64;   // a power of two (the engines mask the column)
  uint32_t height = 64;  // width x height below 65536
  // Spread of the energy filter in cells along each axis. A matrix for
  // pixels twice as tall as wide uses a smaller vertical spread, so that the
  // pattern is even on paper rather than on the pixel grid.
  double sigmaX = 1.5;
  double sigmaY = 1.5;
  uint32_t seed = 1;  // seed of the initial random pattern
};

// The work grows with the square of the cell count (2 s for 128 x 128), so
// generated matrices are held to this many cells.
inline constexpr uint32_t kMaxGeneratedCells = 128 * 128;

// A deterministic matrix for the options: the same options give the same
// cells on every run. Throws std::invalid_argument, before any work, for a
// width that is not a power of two up to 256, a height outside 1 to 256,
// more than kMaxGeneratedCells cells, or a spread that is not a positive
// finite number.
ThresholdMatrix voidAndCluster(const VoidAndClusterOptions& options);

}  // namespace kestrl::pack
