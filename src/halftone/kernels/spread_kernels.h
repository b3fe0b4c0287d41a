// Error-spreading kernels, written down as data and applied by one routine.
//
// A kernel row says how the error e of one pixel x (acc minus the dot's value)
// is handed on, in 32nds of e:
//   current  cells right of x, still to be worked on this line (x + k);
//   next     cells left of x, already consumed, now collecting the next
//            line's error (x - k);
//   own      what cell x itself becomes for the next line: the old carry
//            plus this amount (the cell is set, not added to);
//   carry    the share for the next line's cell x + 1, held back as a running
//            carry because that cell still holds this line's error; it is
//            added when the cell is rewritten as the "old carry" of pixel x + 1.
// A span covers the cells first..last with one weight. Some spans apply only
// when the pixel's matrix cell is even (low bit 0) or odd, and the widest
// 1440 row spreads half the error, h = e >> 1 (arithmetic shift), so a weight
// "of half" adds weight x h instead of weight x e.
//
// The colour diffusion engines use the same row shapes with the parity read
// the other way round: their "odd" variant is the "even" variant here.
//
// The tables are expanded at compile time into flat lists of (offset, weight)
// per row and parity, and applied as straight-line 16-bit wrapping additions:
// no loop, no test per cell.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "common/arithmetic.h"
#include "halftone/kernels/error_line.h"

namespace kestrl::halftone::diffusion {

enum class When : uint8_t { kAlways, kEven, kOdd };
enum class Of : uint8_t { kError, kHalf };
enum class Parity : uint8_t { kEven = 0, kOdd = 1 };

// Cells x + first .. x + last each receive weight x e (or weight x h).
struct Span {
  int8_t first = 0;
  int8_t last = 0;
  uint8_t weight = 0;  // 0: unused slot
  When when = When::kAlways;
  Of of = Of::kError;
};

// An amount for the pixel's own cell or for the carry.
struct Amount {
  uint8_t weight = 0;
  When when = When::kAlways;
  Of of = Of::kError;
};

inline constexpr size_t kMaxSpans = 4;

struct KernelRow {
  std::array<Span, kMaxSpans> current;
  std::array<Span, kMaxSpans> next;
  std::array<Amount, 2> own;
  Amount carry;
};

inline constexpr size_t kRowsPerTable = 6;
using KernelTable = std::array<KernelRow, kRowsPerTable>;

inline constexpr When kEven = When::kEven;
inline constexpr When kOdd = When::kOdd;
inline constexpr When kAll = When::kAlways;
inline constexpr Of kHalf = Of::kHalf;

// clang-format off

// General resolutions. Rows in the order they are tried.
namespace bilevel_rows {
enum : size_t { kAboveLimit1, kNoDot, kAboveLimit2, kAboveLimit3, kAboveT, kWidest };
}
inline constexpr KernelTable kBilevelKernels = {{
    // L > spreadLimit1: x+1: 8, x+2: 4 | x-2: 4, x-1: 4 | own 8 | carry 4
    {{{{1, 1, 8}, {2, 2, 4}}}, {{{-2, -1, 4}}}, {{{8}}}, {4}},
    // no dot: x+1: 8, x+2: 4 | x-2: 4, x-1: 8 | own 8 | carry 0
    {{{{1, 1, 8}, {2, 2, 4}}}, {{{-2, -2, 4}, {-1, -1, 8}}}, {{{8}}}, {0}},
    // L > spreadLimit2: x+1, x+2: 4, x+3, x+4: 2, x+5: 2 if even | x-4..x-2: 2, x-1: 4
    // | own 4, plus 2 if odd | carry 4
    {{{{1, 2, 4}, {3, 4, 2}, {5, 5, 2, kEven}}}, {{{-4, -2, 2}, {-1, -1, 4}}},
     {{{4}, {2, kOdd}}}, {4}},
    // L > spreadLimit3: x+1..x+3: 3, x+4..x+7: 1 | x-7, x-6: 1, x-5..x-2: 2, x-1: 3 | 3 | 3
    {{{{1, 3, 3}, {4, 7, 1}}}, {{{-7, -6, 1}, {-5, -2, 2}, {-1, -1, 3}}}, {{{3}}}, {3}},
    // L > T: x+1..x+4: 2, x+5..x+9: 1, x+10: 1 if even, x+11: 1 if odd
    // | x-10..x-5: 1, x-4..x-1: 2 | 2 | 2
    {{{{1, 4, 2}, {5, 9, 1}, {10, 10, 1, kEven}, {11, 11, 1, kOdd}}},
     {{{-10, -5, 1}, {-4, -1, 2}}}, {{{2}}}, {2}},
    // otherwise: x+1..x+14: 1 | x-15: 1 if even, x-14: 1 if odd, x-13..x-1: 1 | 1 | 1
    // (hands on 30 e, not 32 e)
    {{{{1, 14, 1}}}, {{{-15, -15, 1, kEven}, {-14, -14, 1, kOdd}, {-13, -1, 1}}}, {{{1}}}, {1}},
}};

// 1440 x 720.
namespace bilevel1440_rows {
enum : size_t { kNoDot, kAboveLimit1, kAboveLimit2, kAboveLimit3, kAboveLimit4, kWidest };
}
inline constexpr KernelTable kBilevel1440Kernels = {{
    // no dot: x+1: 4, plus 4 if even, x+2: 4, x+3: 4 if odd
    // | x-3: 4 if even, x-2: 4, x-1: 4, plus 4 if odd | own 8 | carry 0
    {{{{1, 1, 4}, {1, 1, 4, kEven}, {2, 2, 4}, {3, 3, 4, kOdd}}},
     {{{-3, -3, 4, kEven}, {-2, -1, 4}, {-1, -1, 4, kOdd}}}, {{{8}}}, {0}},
    // L > spreadLimit1: x+1, x+2: 4, x+3, x+4: 2 | x-4, x-3: 2, x-2, x-1: 4 | 4 | 4
    {{{{1, 2, 4}, {3, 4, 2}}}, {{{-4, -3, 2}, {-2, -1, 4}}}, {{{4}}}, {4}},
    // L > spreadLimit2: x+1..x+3: 3, x+4, x+5: 2, x+6, x+7: 1
    // | x-7, x-6: 1, x-5, x-4: 2, x-3..x-1: 3 | 2 | 0
    {{{{1, 3, 3}, {4, 5, 2}, {6, 7, 1}}}, {{{-7, -6, 1}, {-5, -4, 2}, {-3, -1, 3}}}, {{{2}}}, {0}},
    // L > spreadLimit3: x+1..x+5: 2, x+6..x+10: 1 | x-10..x-6: 1, x-5..x-1: 2 | 2 | 0
    {{{{1, 5, 2}, {6, 10, 1}}}, {{{-10, -6, 1}, {-5, -1, 2}}}, {{{2}}}, {0}},
    // L > spreadLimit4: x+1: 2, x+2..x+14: 1 | x-14..x-2: 1, x-1: 2 | 1 | 1
    {{{{1, 1, 2}, {2, 14, 1}}}, {{{-14, -2, 1}, {-1, -1, 2}}}, {{{1}}}, {1}},
    // otherwise: x+1..x+9: 1, x+10..x+23: h | x-21..x-10: h, x-9..x-1: 1 | h | h
    {{{{1, 9, 1}, {10, 23, 1, kAll, kHalf}}}, {{{-21, -10, 1, kAll, kHalf}, {-9, -1, 1}}},
     {{{1, kAll, kHalf}}}, {1, kAll, kHalf}},
}};

// Vertical resolution twice the horizontal.
namespace double_vertical_rows {
enum : size_t { kAboveLimit1, kAboveLimit2, kNoDot, kAboveLimit3, kAboveT, kWidest };
}
inline constexpr KernelTable kDoubleVerticalKernels = {{
    // L > spreadLimit1: x+1: 4, x+2: 4 | x-1: 8 | own 8 | carry 8
    {{{{1, 2, 4}}}, {{{-1, -1, 8}}}, {{{8}}}, {8}},
    // L > spreadLimit2: x+1: 4, x+2: 4 | x-2: 4, x-1: 4 | own 12 | carry 4
    {{{{1, 2, 4}}}, {{{-2, -1, 4}}}, {{{12}}}, {4}},
    // no dot: x+1: 4, x+2: 4 | x-2: 4, x-1: 4 | own 16 | carry 0
    {{{{1, 2, 4}}}, {{{-2, -1, 4}}}, {{{16}}}, {0}},
    // L > spreadLimit3: x+1..x+4: 2 | x-4..x-2: 2, x-1: 4 | own 8 | carry 6
    {{{{1, 4, 2}}}, {{{-4, -2, 2}, {-1, -1, 4}}}, {{{8}}}, {6}},
    // L > T: x+1..x+3: 3, x+4..x+7: 1 | x-7, x-6: 1, x-5..x-2: 2, x-1: 3 | 3 | 3
    {{{{1, 3, 3}, {4, 7, 1}}}, {{{-7, -6, 1}, {-5, -2, 2}, {-1, -1, 3}}}, {{{3}}}, {3}},
    // otherwise: x+1..x+4: 2, x+5..x+9: 1, x+10: 1 if even, x+11: 1 if odd
    // | x-10..x-5: 1, x-4..x-1: 2 | 2 | 2
    {{{{1, 4, 2}, {5, 9, 1}, {10, 10, 1, kEven}, {11, 11, 1, kOdd}}},
     {{{-10, -5, 1}, {-4, -1, 2}}}, {{{2}}}, {2}},
}};

// clang-format on

// The threshold nudge of a matrix cell m; only bits 1 to 7 count: by
// t = m AND 0xFE, +24 for t 0..7, +20 for 8..128, -20 for 129..247, -24 for
// 248..255. Grey engines and planes 0 and 3 of the colour engines add it to
// the dot threshold, plane 1 takes it off.
inline constexpr std::array<int32_t, 256> kPerturbationTable = [] {
  std::array<int32_t, 256> table{};
  for (uint32_t t = 0; t < 256; ++t) table[t] = t <= 7 ? 24 : t <= 128 ? 20 : t <= 247 ? -20 : -24;
  return table;
}();

inline int32_t perturbation(uint32_t m) {
  return kPerturbationTable[m & 0xFE];
}

// ---- Compile-time expansion of a row into flat tap lists ----

struct Tap {
  int8_t offset;
  uint8_t weight;
};

constexpr bool appliesTo(When when, Parity parity) {
  return when == When::kAlways || (when == When::kEven) == (parity == Parity::kEven);
}

// Offsets a kernel may reach on either side; the line's margin covers them.
inline constexpr int kReach = static_cast<int>(kErrorLineMargin);
inline constexpr size_t kOffsetSlots = 2 * kReach + 1;

// Weight per offset (index offset + kReach) of e or of h, both columns merged.
constexpr std::array<int, kOffsetSlots> weightsByOffset(const KernelRow& row, Parity parity,
                                                        Of of) {
  std::array<int, kOffsetSlots> weights{};
  for (const auto* column : {&row.current, &row.next}) {
    for (const Span& span : *column) {
      if (span.weight == 0 || span.of != of || !appliesTo(span.when, parity)) continue;
      for (int k = span.first; k <= span.last; ++k) weights[k + kReach] += span.weight;
    }
  }
  return weights;
}

constexpr int amountOf(const Amount& amount, Parity parity, Of of) {
  return amount.of == of && appliesTo(amount.when, parity) ? amount.weight : 0;
}

constexpr int ownWeight(const KernelRow& row, Parity parity, Of of) {
  return amountOf(row.own[0], parity, of) + amountOf(row.own[1], parity, of);
}

// True when every span of a row stays within the margin and off cell x.
constexpr bool spansFit(const KernelRow& row) {
  for (const Span& span : row.current) {
    if (span.weight != 0 && (span.first < 1 || span.last > kReach || span.first > span.last))
      return false;
  }
  for (const Span& span : row.next) {
    if (span.weight != 0 && (span.first < -kReach || span.last > -1 || span.first > span.last))
      return false;
  }
  return true;
}

constexpr bool tableFits(const KernelTable& table) {
  for (const KernelRow& row : table) {
    if (!spansFit(row)) return false;
  }
  return true;
}
static_assert(tableFits(kBilevelKernels) && tableFits(kBilevel1440Kernels) &&
              tableFits(kDoubleVerticalKernels));

constexpr size_t tapCount(const KernelRow& row, Parity parity, Of of) {
  size_t count = 0;
  for (int weight : weightsByOffset(row, parity, of)) count += weight != 0 ? 1 : 0;
  return count;
}

// Which side of x a reach is measured on.
enum class Side : uint8_t { kBelow, kAbove, kEither };

// The farthest cell from x that any row of a table reaches on a side.
constexpr int reachOf(const KernelTable& table, Side side) {
  int reach = 0;
  for (const KernelRow& row : table) {
    for (Parity parity : {Parity::kEven, Parity::kOdd}) {
      for (Of of : {Of::kError, Of::kHalf}) {
        const auto weights = weightsByOffset(row, parity, of);
        for (int k = -kReach; k <= kReach; ++k) {
          const bool counted = side == Side::kEither || (side == Side::kBelow) == (k < 0);
          if (weights[k + kReach] != 0 && counted) reach = std::max(reach, k < 0 ? -k : k);
        }
      }
    }
  }
  return reach;
}

// True when some row hands on shares of the half error h.
constexpr bool usesHalf(const KernelTable& table) {
  for (const KernelRow& row : table) {
    for (Parity parity : {Parity::kEven, Parity::kOdd}) {
      if (tapCount(row, parity, Of::kHalf) != 0 || ownWeight(row, parity, Of::kHalf) != 0 ||
          amountOf(row.carry, parity, Of::kHalf) != 0) {
        return true;
      }
    }
  }
  return false;
}

template <const KernelTable& table, size_t rowIndex, Parity parity, Of of>
constexpr auto taps() {
  constexpr const KernelRow& row = table[rowIndex];
  std::array<Tap, tapCount(row, parity, of)> result{};
  const auto weights = weightsByOffset(row, parity, of);
  size_t n = 0;
  for (size_t slot = 0; slot < kOffsetSlots; ++slot) {
    if (weights[slot] != 0) {
      result[n++] = {static_cast<int8_t>(static_cast<int>(slot) - kReach),
                     static_cast<uint8_t>(weights[slot])};
    }
  }
  return result;
}

template <auto tapList, size_t... i>
inline void addTaps([[maybe_unused]] int16_t* cellX, [[maybe_unused]] int32_t amount,
                    std::index_sequence<i...>) {
  (addToCell(cellX[tapList[i].offset], tapList[i].weight, amount), ...);
}

// Spreads e from the pixel whose cell is cellX by one row: adds to the
// current and next line, sets cell x to carry + own, and returns the new carry.
template <const KernelTable& table, size_t rowIndex, Parity parity>
inline int16_t spreadRow(int16_t* cellX, int32_t e, int16_t carry) {
  constexpr const KernelRow& row = table[rowIndex];
  constexpr auto errorTaps = taps<table, rowIndex, parity, Of::kError>();
  constexpr auto halfTaps = taps<table, rowIndex, parity, Of::kHalf>();
  const int32_t h = e >> 1;
  addTaps<errorTaps>(cellX, e, std::make_index_sequence<errorTaps.size()>());
  addTaps<halfTaps>(cellX, h, std::make_index_sequence<halfTaps.size()>());
  constexpr int ownE = ownWeight(row, parity, Of::kError);
  constexpr int ownH = ownWeight(row, parity, Of::kHalf);
  constexpr int carryE = amountOf(row.carry, parity, Of::kError);
  constexpr int carryH = amountOf(row.carry, parity, Of::kHalf);
  cellX[0] = wrap16(wrapAdd(carry, wrapAdd(wrapMul(ownE, e), wrapMul(ownH, h))));
  return wrap16(wrapAdd(wrapMul(carryE, e), wrapMul(carryH, h)));
}

using Spreader = int16_t (*)(int16_t* cellX, int32_t e, int16_t carry);

// Every row of a table in both parities, by row x 2 + parity.
template <const KernelTable& table, size_t... slot>
constexpr std::array<Spreader, sizeof...(slot)> spreadersOf(std::index_sequence<slot...>) {
  return {spreadRow<table, slot / 2, static_cast<Parity>(slot % 2)>...};
}
template <const KernelTable& table>
inline constexpr std::array<Spreader, 2 * kRowsPerTable> kSpreaders =
    spreadersOf<table>(std::make_index_sequence<2 * kRowsPerTable>());

// Spreads e by row rowIndex of the table, in the variant of the parity.
template <const KernelTable& table>
inline int16_t spread(size_t rowIndex, Parity parity, int16_t* cellX, int32_t e, int16_t carry) {
  return kSpreaders<table>[rowIndex * 2 + static_cast<size_t>(parity)](cellX, e, carry);
}

inline constexpr Parity parityOf(uint16_t m) {
  return static_cast<Parity>(m & 1u);
}

}  // namespace kestrl::halftone::diffusion
