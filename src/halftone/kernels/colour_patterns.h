// The spread patterns of the colour diffusion engines: the grey engines'
// kernel rows (spread_kernels.h) with the parity read the other way round.
//
// Parity here is the colour engines' own: "odd" is a matrix value with its
// low bit set. The rows are the grey ones, but every parity-bound share
// lies on the other side (the 2/32 of the N3 shape, the +10/+11 and -15/-14
// cells of the wide shapes, the 4/32 steps of the 1440 no-dot shape), so the
// tables are the grey ones with the parity flipped.
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

// The grey table with every parity-bound share on the other side.
constexpr When flipped(When when) {
  return when == When::kEven ? When::kOdd : when == When::kOdd ? When::kEven : when;
}

constexpr KernelTable withParityFlipped(KernelTable table) {
  for (KernelRow& row : table) {
    for (auto* column : {&row.current, &row.next}) {
      for (Span& span : *column) span.when = flipped(span.when);
    }
    for (Amount& amount : row.own) amount.when = flipped(amount.when);
    row.carry.when = flipped(row.carry.when);
  }
  return table;
}

// N1..N6, W1..W6 and V1..V6 are the rows of the grey tables in their order.
inline constexpr KernelTable kGeneralColourPatterns = withParityFlipped(kBilevelKernels);
inline constexpr KernelTable k1440ColourPatterns = withParityFlipped(kBilevel1440Kernels);
inline constexpr KernelTable kDoubleVerticalColourPatterns =
    withParityFlipped(kDoubleVerticalKernels);

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
