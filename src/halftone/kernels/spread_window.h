// Error spreading for a single diffused plane with the cells around the pixel
// held in vector registers.
//
// The engine decides each pixel (its error e, its kernel row and parity, its
// code) from the error that has reached its cell; a run driver walks the
// error line and spreads. Two drivers give the same cells bit for bit:
//
// - spreadRunScalar applies the rows' straight-line tap lists to the line in
//   memory, one pixel after the other: the readable reference, and the path
//   of targets without 128-bit integer vectors.
// - spreadRunWindowed keeps the cells x - reach .. x + reach in registers,
//   as blocks of eight cells aligned on the run's first pixel. A pixel's
//   spread is, for each block, one 16-bit multiply-add of e (and of
//   h = e >> 1) with a weight vector of its row and parity, shifted to the
//   pixel's place in its block (its phase): no branch on the row. When the
//   run leaves a block, the lowest block, which no later pixel reaches, goes
//   back to the line, and the block above the window comes in.
//
// Only the cell right of x lies on the path from one pixel's decision to the
// next. The driver keeps that cell as a scalar, and the one after it too, so
// that pixel x + 1 reads its cell without waiting on the vector arithmetic of
// pixel x: the registers are read two pixels ahead of the decision.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "common/arithmetic.h"
#include "halftone/kernels/spread_kernels.h"

// The per-pixel code must inline whole into the run loop: the window's
// blocks stay in registers only while every index into them is a constant.
#if defined(__GNUC__) || defined(__clang__)
#define KESTRL_ALWAYS_INLINE __attribute__((always_inline))
#else
#define KESTRL_ALWAYS_INLINE
#endif

#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
#include <emmintrin.h>
#define KESTRL_SPREAD_WINDOW 1
#else
#define KESTRL_SPREAD_WINDOW 0
#endif

namespace kestrl::halftone::diffusion {

// What the engine decided at a pixel.
struct PixelDecision {
  int32_t e;          // the error to spread (0 spreads nothing)
  uint32_t slot;      // kernel row x 2 + parity
  uint32_t code;      // the pixel's dot code
  int16_t carryMask;  // -1 keeps the carry in the pixel's cell, 0 drops it
};

inline constexpr uint32_t slotOf(uint32_t row, Parity parity) {
  return 2 * row + static_cast<uint32_t>(parity);
}

// The reference driver. decide(i, cell) gets the run offset and the cell
// of the pixel as it stands; emit(code) takes the pixel's code.
template <const KernelTable& table, typename Decide, typename Emit>
inline void spreadRunScalar(int16_t* cell, uint32_t count, Decide&& decide, Emit&& emit) {
  int16_t carry = 0;
  for (uint32_t i = 0; i < count; ++i, ++cell) {
    const PixelDecision d = decide(i, *cell);
    carry = static_cast<int16_t>(carry & d.carryMask);
    if (d.e == 0) {
      *cell = carry;
      carry = 0;
    } else {
      carry = spread<table>(d.slot / 2, static_cast<Parity>(d.slot % 2), cell, d.e, carry);
    }
    emit(d.code);
  }
}

namespace window {

inline constexpr int kLanes = 8;

// The farthest cell from x that a table's rows reach.
constexpr int reachOf(const KernelTable& table) {
  int reach = 0;
  for (const KernelRow& row : table) {
    for (Parity parity : {Parity::kEven, Parity::kOdd}) {
      for (Of of : {Of::kError, Of::kHalf}) {
        const auto weights = weightsByOffset(row, parity, of);
        for (int k = -kReach; k <= kReach; ++k) {
          if (weights[k + kReach] != 0) reach = std::max(reach, k < 0 ? -k : k);
        }
      }
    }
  }
  return reach;
}

constexpr bool usesHalf(const KernelTable& table) {
  for (const KernelRow& row : table) {
    for (Parity parity : {Parity::kEven, Parity::kOdd}) {
      for (int w : weightsByOffset(row, parity, Of::kHalf)) {
        if (w != 0) return true;
      }
      if (ownWeight(row, parity, Of::kHalf) != 0 || amountOf(row.carry, parity, Of::kHalf) != 0)
        return true;
    }
  }
  return false;
}

// The blocks of the window: kBelow under the pixel's block, kAbove over it.
// A pixel at phase p reaches p + 8 x kBelow cells down and 7 - p + 8 x kAbove
// cells up; the reach fits at every phase.
template <const KernelTable& table>
struct Geometry {
  static constexpr int kReachOfTable = reachOf(table);
  static constexpr int kBelow = (kReachOfTable + kLanes - 1) / kLanes;
  static constexpr int kAbove = kBelow;
  static constexpr int kBlocks = kBelow + 1 + kAbove;
  // Index of offset 0 in a weight line; a phase-p block j starts at
  // kZero + 8 x (j - kBelow) - p, never below 0.
  static constexpr int kZero = kLanes * (kBelow + 1);
  static constexpr int kLength = kZero + kLanes * (kAbove + 1);
  static constexpr bool kHalf = usesHalf(table);
  static_assert(kBelow * kLanes >= kReachOfTable && kAbove * kLanes >= kReachOfTable);
};

using WeightLine = std::array<uint16_t, 128>;

// Per row and parity, the weight of e (or h) at each offset, cell x itself 0
// (it is set, not added to).
template <const KernelTable& table, Of of>
inline constexpr std::array<WeightLine, 2 * kRowsPerTable> kWeightLines = [] {
  using G = Geometry<table>;
  static_assert(G::kLength <= 128);
  std::array<WeightLine, 2 * kRowsPerTable> lines{};
  for (size_t row = 0; row < kRowsPerTable; ++row) {
    for (Parity parity : {Parity::kEven, Parity::kOdd}) {
      const auto weights = weightsByOffset(table[row], parity, of);
      WeightLine& line = lines[slotOf(static_cast<uint32_t>(row), parity)];
      for (int k = -G::kReachOfTable; k <= G::kReachOfTable; ++k) {
        if (k != 0)
          line[static_cast<size_t>(G::kZero + k)] = static_cast<uint16_t>(weights[k + kReach]);
      }
    }
  }
  return lines;
}();

// Per row and parity, the amounts the scalar part applies: the weights of e
// at x + 1 and x + 2, and the own and carry amounts of e and h.
struct ScalarAmounts {
  int32_t next1, next2;
  int32_t ownE, ownH, carryE, carryH;
};

template <const KernelTable& table>
inline constexpr std::array<ScalarAmounts, 2 * kRowsPerTable> kScalarAmounts = [] {
  std::array<ScalarAmounts, 2 * kRowsPerTable> amounts{};
  for (size_t row = 0; row < kRowsPerTable; ++row) {
    for (Parity parity : {Parity::kEven, Parity::kOdd}) {
      const KernelRow& r = table[row];
      const auto weights = weightsByOffset(r, parity, Of::kError);
      amounts[slotOf(static_cast<uint32_t>(row), parity)] = {weights[kReach + 1],
                                                             weights[kReach + 2],
                                                             ownWeight(r, parity, Of::kError),
                                                             ownWeight(r, parity, Of::kHalf),
                                                             amountOf(r.carry, parity, Of::kError),
                                                             amountOf(r.carry, parity, Of::kHalf)};
    }
  }
  return amounts;
}();

// The scalar part takes x + 1 and x + 2 from e alone.
constexpr bool nearCellsOfErrorOnly(const KernelTable& table) {
  for (const KernelRow& row : table) {
    for (Parity parity : {Parity::kEven, Parity::kOdd}) {
      const auto half = weightsByOffset(row, parity, Of::kHalf);
      if (half[kReach + 1] != 0 || half[kReach + 2] != 0) return false;
    }
  }
  return true;
}
static_assert(nearCellsOfErrorOnly(kBilevelKernels) && nearCellsOfErrorOnly(kBilevel1440Kernels) &&
              nearCellsOfErrorOnly(kDoubleVerticalKernels));

}  // namespace window

#if KESTRL_SPREAD_WINDOW

namespace window {

// A block of the line, read or written only as far as the line goes.
inline __m128i loadBlock(const int16_t* from, const int16_t* lineEnd) {
  if (lineEnd - from >= kLanes) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
  alignas(16) int16_t cells[kLanes] = {};
  std::copy(from, std::max(from, lineEnd), cells);
  return _mm_load_si128(reinterpret_cast<const __m128i*>(cells));
}

inline void storeBlock(int16_t* to, const int16_t* lineEnd, __m128i block) {
  alignas(16) int16_t cells[kLanes];
  _mm_store_si128(reinterpret_cast<__m128i*>(cells), block);
  std::copy(cells, cells + std::clamp<ptrdiff_t>(lineEnd - to, 0, kLanes), to);
}

inline __m128i weightsAt(const uint16_t* line) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(line));
}

// Calls f(std::integral_constant<int, j>{}) for j = 0 .. n - 1, so that every
// block index is a constant and the blocks stay in registers.
template <int n, typename F>
KESTRL_ALWAYS_INLINE inline void forEachBlock(F&& f) {
  [&]<int... j>(std::integer_sequence<int, j...>) KESTRL_ALWAYS_INLINE {
    (f(std::integral_constant<int, j>{}), ...);
  }
  (std::make_integer_sequence<int, n>());
}

// The window's registers and the scalar cells ahead of them.
template <const KernelTable& table>
struct Window {
  using G = Geometry<table>;
  __m128i block[G::kBlocks];
  int32_t cellX;     // the cell of the pixel to decide
  int32_t cellNext;  // the cell right of it, less the last pixel's share
  int32_t carry = 0;

  // Decides and spreads the pixel at phase p of block kBelow.
  template <int p, typename Decide>
  KESTRL_ALWAYS_INLINE uint32_t pixel(uint32_t i, Decide& decide) {
    const PixelDecision d = decide(i, static_cast<int16_t>(cellX));
    const ScalarAmounts& a = kScalarAmounts<table>[d.slot];
    const int32_t e = d.e;
    const int32_t h = e >> 1;
    // The next pixel's cell; then the one after it as the registers hold it
    // before this pixel's spread, plus this pixel's share.
    cellX = wrap16(wrapAdd(cellNext, wrapMul(a.next1, e)));
    constexpr int q = p + 2;
    cellNext =
        wrapAdd(static_cast<int16_t>(_mm_extract_epi16(block[G::kBelow + q / kLanes], q % kLanes)),
                wrapMul(a.next2, e));
    int32_t own = wrapMul(a.ownE, e);
    int32_t nextCarry = wrapMul(a.carryE, e);
    if constexpr (G::kHalf) {
      own = wrapAdd(own, wrapMul(a.ownH, h));
      nextCarry = wrapAdd(nextCarry, wrapMul(a.carryH, h));
    }
    block[G::kBelow] = _mm_insert_epi16(block[G::kBelow], wrapAdd(carry & d.carryMask, own), p);
    carry = nextCarry;
    constexpr int first = G::kZero - p - kLanes * G::kBelow;
    addWeighted(kWeightLines<table, Of::kError>[d.slot].data() + first, e);
    if constexpr (G::kHalf) addWeighted(kWeightLines<table, Of::kHalf>[d.slot].data() + first, h);
    return d.code;
  }

  KESTRL_ALWAYS_INLINE void addWeighted(const uint16_t* weights, int32_t amount) {
    const __m128i spread = _mm_set1_epi16(static_cast<int16_t>(amount));
    forEachBlock<G::kBlocks>([&](auto j) KESTRL_ALWAYS_INLINE {
      block[j] = _mm_add_epi16(block[j], _mm_mullo_epi16(weightsAt(weights + kLanes * j), spread));
    });
  }

  // The pixels of one block, until the run ends; false if it ended.
  template <typename Decide, typename Emit, size_t... phase>
  KESTRL_ALWAYS_INLINE bool eightPixels(uint32_t& i, uint32_t count, Decide& decide, Emit& emit,
                                        std::index_sequence<phase...>) {
    return ((i < count ? (emit(pixel<static_cast<int>(phase)>(i, decide)), ++i, true) : false) &&
            ...);
  }
};

}  // namespace window

// The windowed driver: same cells and codes as spreadRunScalar. lineEnd is
// the end of the error line's storage, the limit of any block read.
template <const KernelTable& table, typename Decide, typename Emit>
inline void spreadRunWindowed(int16_t* cell, const int16_t* lineEnd, uint32_t count,
                              Decide&& decide, Emit&& emit) {
  using window::kLanes;
  using G = window::Geometry<table>;
  static_assert(kLanes * G::kBelow <= static_cast<int>(kErrorLineMargin));
  int16_t* lowest = cell - kLanes * G::kBelow;  // the first cell of block 0
  window::Window<table> w;
  window::forEachBlock<G::kBlocks>([&](auto j) KESTRL_ALWAYS_INLINE {
    w.block[j] = window::loadBlock(lowest + kLanes * j, lineEnd);
  });
  w.cellX = static_cast<int16_t>(_mm_extract_epi16(w.block[G::kBelow], 0));
  w.cellNext = static_cast<int16_t>(_mm_extract_epi16(w.block[G::kBelow], 1));
  uint32_t i = 0;
  while (w.eightPixels(i, count, decide, emit, std::make_index_sequence<kLanes>())) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lowest), w.block[0]);
    window::forEachBlock<G::kBlocks - 1>([&](auto j)
                                             KESTRL_ALWAYS_INLINE { w.block[j] = w.block[j + 1]; });
    lowest += kLanes;
    w.block[G::kBlocks - 1] = window::loadBlock(lowest + kLanes * (G::kBlocks - 1), lineEnd);
  }
  window::forEachBlock<G::kBlocks>([&](auto j) KESTRL_ALWAYS_INLINE {
    window::storeBlock(lowest + kLanes * j, lineEnd, w.block[j]);
  });
}

#endif

}  // namespace kestrl::halftone::diffusion
