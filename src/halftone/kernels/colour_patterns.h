// The spread patterns of the one-bit colour diffusion engines, as data in the
// kernel-row form of the grey engines (see spread_kernels.h for what the
// columns mean) and with the same compile-time reach check.
//
// Parity here is the colour engines' own: "odd" is a matrix value with its
// low bit set. Several shapes look like grey rows but put their parity-bound
// share on the other side (the 2/32 of the N3 shape, the +10/+11 and -15/-14
// cells of the wide shapes, the 4/32 steps of the 1440 no-dot shape); the
// tables below say each share's parity as these engines use it.
//
// Three families:
//   N1..N6  general resolutions (N6 hands on 30/32 of the error, not 32/32);
//   W1..W6  1440 x 720 (W6 spreads half the error, h = e >> 1, far out);
//   V1..V6  vertical resolution twice the horizontal (more error downwards).
#pragma once

#include <cstddef>
#include <cstdint>

#include "halftone/kernels/spread_kernels.h"

namespace kestrl::halftone::diffusion {

// Row indices of the three tables, named after their patterns.
enum PatternRow : uint8_t { kRow1, kRow2, kRow3, kRow4, kRow5, kRow6 };

// clang-format off

inline constexpr KernelTable kGeneralColourPatterns = {{
    // N1: +1: 8, +2: 4 | -2: 4, -1: 4 | own 8 | carry 4
    {{{{1, 1, 8}, {2, 2, 4}}}, {{{-2, -1, 4}}}, {{{8}}}, {4}},
    // N2: +1: 8, +2: 4 | -2: 4, -1: 8 | own 8 | carry 0
    {{{{1, 1, 8}, {2, 2, 4}}}, {{{-2, -2, 4}, {-1, -1, 8}}}, {{{8}}}, {0}},
    // N3: +1, +2: 4, +3, +4: 2, +5: 2 when odd | -4..-2: 2, -1: 4 | own 4 plus 2 when even | 4
    {{{{1, 2, 4}, {3, 4, 2}, {5, 5, 2, kOdd}}}, {{{-4, -2, 2}, {-1, -1, 4}}},
     {{{4}, {2, kEven}}}, {4}},
    // N4: +1..+3: 3, +4..+7: 1 | -7, -6: 1, -5..-2: 2, -1: 3 | own 3 | carry 3
    {{{{1, 3, 3}, {4, 7, 1}}}, {{{-7, -6, 1}, {-5, -2, 2}, {-1, -1, 3}}}, {{{3}}}, {3}},
    // N5: +1..+4: 2, +5..+9: 1, +10: 1 when odd, +11: 1 when even
    //     | -10..-5: 1, -4..-1: 2 | own 2 | carry 2
    {{{{1, 4, 2}, {5, 9, 1}, {10, 10, 1, kOdd}, {11, 11, 1, kEven}}},
     {{{-10, -5, 1}, {-4, -1, 2}}}, {{{2}}}, {2}},
    // N6: +1..+14: 1 | -15: 1 when odd, -14: 1 when even, -13..-1: 1 | own 1 | carry 1
    {{{{1, 14, 1}}}, {{{-15, -15, 1, kOdd}, {-14, -14, 1, kEven}, {-13, -1, 1}}}, {{{1}}}, {1}},
}};

inline constexpr KernelTable k1440ColourPatterns = {{
    // W1: +1: 4 plus 4 when odd, +2: 4, +3: 4 when even
    //     | -3: 4 when odd, -2: 4, -1: 4 plus 4 when even | own 8 | carry 0
    {{{{1, 1, 4}, {1, 1, 4, kOdd}, {2, 2, 4}, {3, 3, 4, kEven}}},
     {{{-3, -3, 4, kOdd}, {-2, -1, 4}, {-1, -1, 4, kEven}}}, {{{8}}}, {0}},
    // W2: +1, +2: 4, +3, +4: 2 | -4, -3: 2, -2, -1: 4 | own 4 | carry 4
    {{{{1, 2, 4}, {3, 4, 2}}}, {{{-4, -3, 2}, {-2, -1, 4}}}, {{{4}}}, {4}},
    // W3: +1..+3: 3, +4, +5: 2, +6, +7: 1 | -7, -6: 1, -5, -4: 2, -3..-1: 3 | own 2 | carry 0
    {{{{1, 3, 3}, {4, 5, 2}, {6, 7, 1}}}, {{{-7, -6, 1}, {-5, -4, 2}, {-3, -1, 3}}}, {{{2}}}, {0}},
    // W4: +1..+5: 2, +6..+10: 1 | -10..-6: 1, -5..-1: 2 | own 2 | carry 0
    {{{{1, 5, 2}, {6, 10, 1}}}, {{{-10, -6, 1}, {-5, -1, 2}}}, {{{2}}}, {0}},
    // W5: +1: 2, +2..+14: 1 | -14..-2: 1, -1: 2 | own 1 | carry 1
    {{{{1, 1, 2}, {2, 14, 1}}}, {{{-14, -2, 1}, {-1, -1, 2}}}, {{{1}}}, {1}},
    // W6: +1..+9: 1, +10..+23: h | -21..-10: h, -9..-1: 1 | own h | carry h
    {{{{1, 9, 1}, {10, 23, 1, kAll, kHalf}}}, {{{-21, -10, 1, kAll, kHalf}, {-9, -1, 1}}},
     {{{1, kAll, kHalf}}}, {1, kAll, kHalf}},
}};

inline constexpr KernelTable kDoubleVerticalColourPatterns = {{
    // V1: +1, +2: 4 | -1: 8 | own 8 | carry 8
    {{{{1, 2, 4}}}, {{{-1, -1, 8}}}, {{{8}}}, {8}},
    // V2: +1, +2: 4 | -2, -1: 4 | own 12 | carry 4
    {{{{1, 2, 4}}}, {{{-2, -1, 4}}}, {{{12}}}, {4}},
    // V3: +1, +2: 4 | -2, -1: 4 | own 16 | carry 0
    {{{{1, 2, 4}}}, {{{-2, -1, 4}}}, {{{16}}}, {0}},
    // V4: +1..+4: 2 | -4..-2: 2, -1: 4 | own 8 | carry 6
    {{{{1, 4, 2}}}, {{{-4, -2, 2}, {-1, -1, 4}}}, {{{8}}}, {6}},
    // V5: +1..+3: 3, +4..+7: 1 | -7, -6: 1, -5..-2: 2, -1: 3 | own 3 | carry 3
    {{{{1, 3, 3}, {4, 7, 1}}}, {{{-7, -6, 1}, {-5, -2, 2}, {-1, -1, 3}}}, {{{3}}}, {3}},
    // V6: +1..+4: 2, +5..+9: 1, +10: 1 when odd, +11: 1 when even
    //     | -10..-5: 1, -4..-1: 2 | own 2 | carry 2
    {{{{1, 4, 2}, {5, 9, 1}, {10, 10, 1, kOdd}, {11, 11, 1, kEven}}},
     {{{-10, -5, 1}, {-4, -1, 2}}}, {{{2}}}, {2}},
}};

// clang-format on

static_assert(tableFits(kGeneralColourPatterns) && tableFits(k1440ColourPatterns) &&
              tableFits(kDoubleVerticalColourPatterns));

// What a row hands on in all, in 64ths of e (a weight of h counts half).
constexpr int handedOn(const KernelRow& row, Parity parity) {
  int total = 2 * (ownWeight(row, parity, Of::kError) + amountOf(row.carry, parity, Of::kError)) +
              ownWeight(row, parity, Of::kHalf) + amountOf(row.carry, parity, Of::kHalf);
  for (Of of : {Of::kError, Of::kHalf}) {
    for (int weight : weightsByOffset(row, parity, of))
      total += (of == Of::kError ? 2 : 1) * weight;
  }
  return total;
}

// Every row hands on the whole error, in both parities, except N6 (30/32).
constexpr bool handsOnTheWholeError(const KernelTable& table, size_t exceptRow, int exceptShare) {
  for (size_t row = 0; row < kRowsPerTable; ++row) {
    for (Parity parity : {Parity::kEven, Parity::kOdd}) {
      if (handedOn(table[row], parity) != (row == exceptRow ? exceptShare : 64)) return false;
    }
  }
  return true;
}
static_assert(handsOnTheWholeError(kGeneralColourPatterns, kRow6, 60));
static_assert(handsOnTheWholeError(k1440ColourPatterns, kRow6, 64));
static_assert(handsOnTheWholeError(kDoubleVerticalColourPatterns, kRow6, 64));

}  // namespace kestrl::halftone::diffusion
