// Error spreading for a single diffused plane, with the cells around the
// pixel held in vector registers.
//
// For each pixel the engine says, before the error is known, what the pixel
// would do either way (PixelChoice): the dot is set when the error that
// reached the cell plus the pixel's ink reaches a threshold, and the choice
// holds the error, kernel row and code of both outcomes. A run driver walks
// the error line, reads the cells, decides and spreads. Two drivers give the
// same cells and codes bit for bit:
//
// - spreadRunScalar applies the rows' straight-line tap lists to the line in
//   memory, one pixel after the other: the readable reference that the
//   windowed driver is tested against.
// - spreadRunWindowed keeps the cells x - reach .. x + reach in registers,
//   as blocks of eight cells aligned on the run's first pixel. A pixel's
//   spread is, for each block, one 16-bit multiply-add of e (and of
//   h = e >> 1) with a weight vector of its row and parity, shifted to the
//   pixel's place in its block (its phase): no branch on the row or the dot.
//   When the run leaves a block, the lowest block, which no later pixel
//   reaches, goes back to the line, and the block above the window comes in.
//
// Only the cell right of x lies on the path from one pixel's decision to the
// next. The windowed driver keeps that cell as a scalar, and the one after it
// too, so that pixel x + 1 reads its cell without waiting on the vector
// arithmetic of pixel x (the registers are read two pixels ahead), and it
// works out that cell for both outcomes of x's dot before choosing one.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
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

// What a pixel does with the error that reached it. With acc the cell read
// by the engine's rule plus `ink`, the dot is set when acc >= threshold (a
// threshold of INT32_MIN sets it, INT32_MAX never does); the error spread is
// acc, less dotValue under a dot, AND errorMask (0 spreads nothing).
struct PixelChoice {
  int32_t ink;
  int32_t threshold;
  int32_t dotValue;
  int32_t errorMask;       // -1, or 0 for a pixel that spreads nothing
  uint32_t slot[2];        // kernel row x 2 + parity, without and with the dot
  uint32_t code[2];        // the pixel's code, without and with the dot
  int32_t carryMask = -1;  // -1 keeps the carry in the pixel's cell, 0 drops it
};

// a if which, else b, by masks: dots are close to random, and a branch on
// one would be mispredicted half the time.
template <typename T>
constexpr T pick(bool which, T a, T b) {
  using U = std::make_unsigned_t<T>;
  const U mask = U{0} - U{which};
  return static_cast<T>(static_cast<U>(b) ^ ((static_cast<U>(a) ^ static_cast<U>(b)) & mask));
}

inline constexpr uint32_t slotOf(uint32_t row, Parity parity) {
  return 2 * row + static_cast<uint32_t>(parity);
}

// The outcome of a choice for the error read from the pixel's cell.
template <CellRead read>
struct Outcome {
  bool dot;
  int32_t e[2];  // without and with the dot

  Outcome(const PixelChoice& c, int16_t cell) {
    const int32_t acc = readCell<read>(cell) + c.ink;
    dot = acc >= c.threshold;
    e[0] = acc & c.errorMask;
    e[1] = (acc - c.dotValue) & c.errorMask;
  }
};

// The reference driver. choose(i) gives the choice of the pixel at run
// offset i; emit(code) takes the pixel's code.
template <const KernelTable& table, CellRead read, typename Choose, typename Emit>
inline void spreadRunScalar(int16_t* cell, uint32_t count, Choose&& choose, Emit&& emit) {
  int16_t carry = 0;
  for (uint32_t i = 0; i < count; ++i, ++cell) {
    const PixelChoice c = choose(i);
    const Outcome<read> o(c, *cell);
    const int32_t e = pick(o.dot, o.e[1], o.e[0]);
    const uint32_t slot = pick(o.dot, c.slot[1], c.slot[0]);
    carry = static_cast<int16_t>(carry & c.carryMask);
    if (e == 0) {
      *cell = carry;
      carry = 0;
    } else {
      carry = spread<table>(slot / 2, static_cast<Parity>(slot % 2), cell, e, carry);
    }
    emit(pick(o.dot, c.code[1], c.code[0]));
  }
}

namespace window {

inline constexpr int kLanes = 8;

// The blocks of the window: kBelow under the pixel's block, kAbove over it.
// A pixel at phase p reaches p + 8 x kBelow cells down and 7 - p + 8 x kAbove
// cells up; the reach fits at every phase.
template <const KernelTable& table>
struct Geometry {
  static constexpr int kReachOfTable = reachOf(table, Side::kEither);
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
  template <int p, CellRead read>
  KESTRL_ALWAYS_INLINE uint32_t pixel(const PixelChoice& c) {
    const Outcome<read> o(c, static_cast<int16_t>(cellX));
    const ScalarAmounts& without = kScalarAmounts<table>[c.slot[0]];
    const ScalarAmounts& with = kScalarAmounts<table>[c.slot[1]];
    // The next pixel's cell for both outcomes, one chosen.
    const int32_t nextWithout = wrapAdd(cellNext, wrapMul(without.next1, o.e[0]));
    const int32_t nextWith = wrapAdd(cellNext, wrapMul(with.next1, o.e[1]));
    cellX = wrap16(pick(o.dot, nextWith, nextWithout));
    const int32_t e = pick(o.dot, o.e[1], o.e[0]);
    const int32_t h = e >> 1;
    const uint32_t slot = pick(o.dot, c.slot[1], c.slot[0]);
    const ScalarAmounts& a = kScalarAmounts<table>[slot];
    // The cell after it as the registers hold it before this pixel's spread,
    // plus this pixel's share.
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
    block[G::kBelow] = _mm_insert_epi16(block[G::kBelow], wrapAdd(carry & c.carryMask, own), p);
    carry = nextCarry;
    constexpr int first = G::kZero - p - kLanes * G::kBelow;
    addWeighted(kWeightLines<table, Of::kError>[slot].data() + first, e);
    if constexpr (G::kHalf) addWeighted(kWeightLines<table, Of::kHalf>[slot].data() + first, h);
    return pick(o.dot, c.code[1], c.code[0]);
  }

  KESTRL_ALWAYS_INLINE void addWeighted(const uint16_t* weights, int32_t amount) {
    const __m128i spread = _mm_set1_epi16(static_cast<int16_t>(amount));
    forEachBlock<G::kBlocks>([&](auto j) KESTRL_ALWAYS_INLINE {
      block[j] = _mm_add_epi16(block[j], _mm_mullo_epi16(weightsAt(weights + kLanes * j), spread));
    });
  }

  // The pixels of one block, until the run ends; false if it ended.
  template <CellRead read, typename Choose, typename Emit, size_t... phase>
  KESTRL_ALWAYS_INLINE bool eightPixels(uint32_t& i, uint32_t count, Choose& choose, Emit& emit,
                                        std::index_sequence<phase...>) {
    return (
        (i < count ? (emit(pixel<static_cast<int>(phase), read>(choose(i))), ++i, true) : false) &&
        ...);
  }
};

}  // namespace window

// The windowed driver: same cells and codes as spreadRunScalar. lineEnd is
// the end of the error line's storage, the limit of any block read.
template <const KernelTable& table, CellRead read, typename Choose, typename Emit>
inline void spreadRunWindowed(int16_t* cell, const int16_t* lineEnd, uint32_t count,
                              Choose&& choose, Emit&& emit) {
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
  while (w.template eightPixels<read>(i, count, choose, emit, std::make_index_sequence<kLanes>())) {
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
