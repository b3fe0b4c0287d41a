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

// A deterministic matrix for the options: the same options give the same
// cells on every run. Throws std::invalid_argument for a width that is not a
// power of two, a zero height or 65536 cells or more.
ThresholdMatrix voidAndCluster(const VoidAndClusterOptions& options);

}  // namespace kestrl::pack
