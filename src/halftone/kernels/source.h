// Reading single-channel source values by the horizontal source step.
//
// Step 1 reads a new value at every even pixel of the run and reuses it for
// the odd pixel after it; step -1 combines two consecutive values into one
// output pixel; any other step reads one value per pixel.
#pragma once

#include <algorithm>
#include <cstdint>

namespace kestrl::halftone {

// How an engine combines the two values of a pixel under step -1.
enum class PairRule { kLesser, kGreater, kFirstOnly };

template <PairRule rule>
inline uint8_t sourceValue(const uint8_t* source, int32_t sourceStep, uint32_t runOffset) {
  if (sourceStep == 1) return source[runOffset >> 1];
  if constexpr (rule != PairRule::kFirstOnly) {
    if (sourceStep == -1) {
      const uint8_t a = source[2 * runOffset];
      const uint8_t b = source[2 * runOffset + 1];
      return rule == PairRule::kLesser ? std::min(a, b) : std::max(a, b);
    }
  }
  return source[runOffset];
}

}  // namespace kestrl::halftone
