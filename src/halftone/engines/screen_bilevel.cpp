// One-bit screening of a single-channel source with error spreading.
//
// Each pixel's level plus the error carried to it is compared with the
// level's diffusion threshold, nudged up or down by the pixel's matrix cell;
// what remains is spread over the error line with a kernel chosen by level:
// light levels (sparse dots) spread far, dark levels near. The three variants
// differ only in their kernels, the order in which the rows are tried, and in
// what a zero level leaves in its cell.
#include <limits>

#include "halftone/engine.h"
#include "halftone/kernels/error_line.h"
#include "halftone/kernels/matrix_row.h"
#include "halftone/kernels/packing.h"
#include "halftone/kernels/plane_set.h"
#include "halftone/kernels/source.h"
#include "halftone/kernels/spread_kernels.h"
#include "halftone/kernels/spread_window.h"

namespace kestrl::halftone {

namespace {

using namespace diffusion;

// The spread limits, compared signed with the level.
struct Limits {
  int32_t l1, l2, l3, l4;
  explicit Limits(const EngineTables& t)
      : l1(static_cast<int32_t>(t.spreadLimit1)),
        l2(static_cast<int32_t>(t.spreadLimit2)),
        l3(static_cast<int32_t>(t.spreadLimit3)),
        l4(static_cast<int32_t>(t.spreadLimit4)) {}
  // The last limit: one lower on an even matrix cell.
  int32_t t(Parity parity) const { return l4 - 1 + static_cast<int32_t>(parity); }
};

// kWindowed: spread over the register window where the target has one and
// it measured faster. The 1440 window (seven blocks, and a second set of
// weights for half the error) runs no faster than the tap lists, which the
// light tones it serves mostly predict well.
struct General {
  static constexpr const KernelTable& kKernels = kBilevelKernels;
  [[maybe_unused]] static constexpr bool kWindowed = true;
  static constexpr bool kZeroLevelKeepsCarry = true;
  static size_t row(int32_t level, bool dot, Parity parity, const Limits& limit) {
    if (level > limit.l1) return bilevel_rows::kAboveLimit1;
    if (!dot) return bilevel_rows::kNoDot;
    if (level > limit.l2) return bilevel_rows::kAboveLimit2;
    if (level > limit.l3) return bilevel_rows::kAboveLimit3;
    if (level > limit.t(parity)) return bilevel_rows::kAboveT;
    return bilevel_rows::kWidest;
  }
};

struct At1440 {
  static constexpr const KernelTable& kKernels = kBilevel1440Kernels;
  [[maybe_unused]] static constexpr bool kWindowed = false;
  static constexpr bool kZeroLevelKeepsCarry = false;
  static size_t row(int32_t level, bool dot, Parity, const Limits& limit) {
    if (!dot) return bilevel1440_rows::kNoDot;
    if (level > limit.l1) return bilevel1440_rows::kAboveLimit1;
    if (level > limit.l2) return bilevel1440_rows::kAboveLimit2;
    if (level > limit.l3) return bilevel1440_rows::kAboveLimit3;
    if (level > limit.l4) return bilevel1440_rows::kAboveLimit4;
    return bilevel1440_rows::kWidest;
  }
};

struct DoubleVertical {
  static constexpr const KernelTable& kKernels = kDoubleVerticalKernels;
  [[maybe_unused]] static constexpr bool kWindowed = true;
  static constexpr bool kZeroLevelKeepsCarry = true;
  static size_t row(int32_t level, bool dot, Parity parity, const Limits& limit) {
    if (level > limit.l1) return double_vertical_rows::kAboveLimit1;
    if (level > limit.l2) return double_vertical_rows::kAboveLimit2;
    if (!dot) return double_vertical_rows::kNoDot;
    if (level > limit.l3) return double_vertical_rows::kAboveLimit3;
    if (level > limit.t(parity)) return double_vertical_rows::kAboveT;
    return double_vertical_rows::kWidest;
  }
};

// The tap lists applied one pixel after the other, with a branch on the dot
// and a jump to the row's taps: the path of variants and targets without the
// register window.
template <typename Variant, int32_t kStep>
void screenByTaps(const EngineTables& tables, const HalftoneRun& run, BitWriter& out) {
  const uint16_t* toneCurve = tables.toneCurve.data();
  const int16_t* threshold = tables.diffusionThreshold.data();
  const int16_t* dotValue = tables.dotValue.data();
  const MatrixRow matrixRow = matrixRowOf(tables, run.lineNumber);
  const ColourDiffusionTables& rows = tables.colourDiffusion;
  int16_t* cell = tables.errorLines[0].atPixel0() + run.startX;
  int16_t carry = 0;

  for (uint32_t i = 0; i < run.pixelCount; ++i, ++cell) {
    const uint8_t v = sourceValue<PairRule::kGreater>(run.source, kStep, i);
    const int32_t level = static_cast<int16_t>(toneCurve[v]);
    if (level == 0) {
      *cell = Variant::kZeroLevelKeepsCarry ? carry : int16_t{0};
      carry = 0;
      out.put(0);
      continue;
    }
    const auto m = static_cast<uint16_t>(matrixRow.at(run.startX + i));
    const int32_t acc = readCell<CellRead::kShift>(*cell) + level;
    const bool dot = threshold[level] + perturbation(m) <= acc;
    const int32_t e = dot ? acc - dotValue[level] : acc;
    const Parity parity = parityOf(m);
    const uint32_t row = patternRow(rows, kPlanes0And3, static_cast<uint32_t>(parity), dot,
                                    static_cast<uint32_t>(level));
    carry = spread<Variant::kKernels>(row, parity, cell, e, carry);
    out.put(dot ? 1 : 0);
  }
}

#if KESTRL_SPREAD_WINDOW
// The register window: no branch on the dot or the row. A zero level spreads
// nothing and never sets a dot; the cell keeps or drops the carry.
template <typename Variant, int32_t kStep>
void screenWindowed(const EngineTables& tables, const HalftoneRun& run, BitWriter& out) {
  const uint16_t* toneCurve = tables.toneCurve.data();
  const int16_t* threshold = tables.diffusionThreshold.data();
  const int16_t* dotValue = tables.dotValue.data();
  const MatrixRow matrixRow = matrixRowOf(tables, run.lineNumber);
  const uint8_t* pattern = tables.colourDiffusion.pattern.data();
  const uint8_t* source = run.source;
  const uint32_t startX = run.startX;
  const ErrorLine& line = tables.errorLines[0];
  constexpr int32_t kNever = std::numeric_limits<int32_t>::max();  // a threshold no error reaches

  auto choose = [=](uint32_t i) KESTRL_ALWAYS_INLINE {
    const uint8_t v = sourceValue<PairRule::kGreater>(source, kStep, i);
    const int32_t level = static_cast<int16_t>(toneCurve[v]);
    const auto m = static_cast<uint16_t>(matrixRow.at(startX + i));
    const Parity parity = parityOf(m);
    const bool inked = level != 0;
    auto slot = [&](bool dot) {
      return slotOf(
          pattern[ColourDiffusionTables::patternIndex(kPlanes0And3, static_cast<uint32_t>(parity),
                                                      dot, static_cast<uint32_t>(level))],
          parity);
    };
    PixelChoice c;
    c.ink = level;
    c.threshold = pick(inked, threshold[level] + perturbation(m), kNever);
    c.dotValue = dotValue[level];
    c.errorMask = -int32_t{inked};
    c.slot[0] = slot(false);
    c.slot[1] = slot(true);
    c.code[0] = 0;
    c.code[1] = 1;
    c.carryMask = Variant::kZeroLevelKeepsCarry ? -1 : -int32_t{inked};
    return c;
  };
  auto emit = [&](uint32_t code) KESTRL_ALWAYS_INLINE { out.put(code); };
  spreadRunWindowed<Variant::kKernels, CellRead::kShift>(
      line.atPixel0() + run.startX, line.withMargins.data() + line.withMargins.size(),
      run.pixelCount, choose, emit);
}
#endif

template <typename Variant, int32_t kStep>
Status screen(const EngineTables& tables, RunState& state, const HalftoneRun& run) {
  if (const Status status = openScreenRun(tables, state, run); status != kOk) return status;
  BitWriter out(run.destination, run.bitOffset);
#if KESTRL_SPREAD_WINDOW
  if constexpr (Variant::kWindowed) {
    screenWindowed<Variant, kStep>(tables, run, out);
    out.finish();
    return kOk;
  }
#endif
  screenByTaps<Variant, kStep>(tables, run, out);
  out.finish();
  return kOk;
}

// Step -1 screens the greater of each pair of source values.
// The kernel row of every level, dot and parity, chosen once per context.
template <typename Variant>
void prepareRows(EngineTables& tables) {
  const Limits limits(tables);
  for (Parity parity : {Parity::kEven, Parity::kOdd}) {
    for (bool dot : {false, true}) {
      for (uint32_t level = 0; level < kLevelCount; ++level) {
        tables.colourDiffusion.pattern[ColourDiffusionTables::patternIndex(
            kPlanes0And3, static_cast<uint32_t>(parity), dot, level)] =
            static_cast<uint8_t>(Variant::row(static_cast<int32_t>(level), dot, parity, limits));
      }
    }
  }
}

template <typename Variant>
Engine variantFor(const PrintMode& mode) {
  if (mode.sourceStep == 1) return screen<Variant, 1>;
  return mode.sourceStep == -1 ? screen<Variant, -1> : screen<Variant, 0>;
}

}  // namespace

void prepareScreenBilevel(EngineTables& tables) {
  prepareRows<General>(tables);
}

void prepareScreenBilevel1440(EngineTables& tables) {
  prepareRows<At1440>(tables);
}

void prepareScreenBilevelDoubleVertical(EngineTables& tables) {
  prepareRows<DoubleVertical>(tables);
}

Engine screenBilevelDoubleVertical(const PrintMode& mode) {
  return variantFor<DoubleVertical>(mode);
}

Engine screenBilevel1440(const PrintMode& mode) {
  return variantFor<At1440>(mode);
}

Engine screenBilevel(const PrintMode& mode) {
  return variantFor<General>(mode);
}

}  // namespace kestrl::halftone
