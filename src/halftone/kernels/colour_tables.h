// The tables the colour diffusion engines derive once per context from the
// stage tables, so that the pixel loop indexes small local arrays of plain
// 32-bit or 8-bit values and takes its pattern choice from a table.
#pragma once

#include <array>
#include <cstdint>

namespace kestrl::halftone::diffusion {

inline constexpr uint32_t kLevelCount = 256;

// gridIndex as two columns: per source value the grid node at or below it
// and that node's weight in 255ths (255 on a node).
struct GridAxis {
  std::array<uint8_t, kLevelCount> node;
  std::array<uint8_t, kLevelCount> lowerWeight;
};

// Planes 0 and 3 add the perturbation to their threshold (and in some
// pattern families lower the last spread limit on an odd matrix value);
// plane 1 takes the perturbation off.
enum PlaneClass : uint32_t { kPlanes0And3 = 0, kPlane1 = 1 };

// SIMD kernels of the one-bit colour loop (engines/bilevel_colour_loop.h).
struct PlaneLaneKernels;

struct ColourDiffusionTables {
  std::array<int32_t, kLevelCount> threshold;  // diffusionThreshold, sign-extended
  std::array<int32_t, kLevelCount> dotValue;   // sign-extended
  std::array<uint32_t, kLevelCount> share;     // levelTable, zero-extended
  GridAxis axis;
  // The spread pattern row by plane class, matrix parity, dot and level (the
  // grey screening engines keep theirs here too, as plane class 0).
  std::array<uint8_t, 2 * 2 * 2 * kLevelCount> pattern;
  // The kernels that run the diffused planes in SIMD lanes; null: the scalar loop.
  const PlaneLaneKernels* lanes = nullptr;

  static uint32_t patternIndex(uint32_t plane, uint32_t parity, bool dot, uint32_t level) {
    return ((plane * 2 + parity) * 2 + (dot ? 1u : 0u)) * kLevelCount + level;
  }
};

}  // namespace kestrl::halftone::diffusion
