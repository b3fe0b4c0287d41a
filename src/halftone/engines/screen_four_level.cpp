// Two-bit screening of a single-channel source: large and medium dots by
// ordered dither against the threshold matrix, small dots by error
// diffusion with the one-bit engines' kernels.
#include "halftone/engine.h"
#include "halftone/kernels/error_line.h"
#include "halftone/kernels/matrix_row.h"
#include "halftone/kernels/packing.h"
#include "halftone/kernels/plane_set.h"
#include "halftone/kernels/source.h"
#include "halftone/kernels/spread_kernels.h"

namespace kestrl::halftone {

namespace {

using namespace diffusion;

constexpr uint8_t kPaperWhite = 255;
constexpr int32_t kPrintedDot = 255;  // every printed dot counts 255 here

// The shares of the three dot sizes at a pixel, and the level they belong to.
struct Shares {
  int32_t level;
  int32_t small, medium, large;
};

// The ink level of source value v, read from the padded tone curve at a
// position jittered by up to the curve's half margin either side of v (the
// jitter comes from the matrix cell 24 columns on), and that level's row of
// the dot table. The margin is at least 1 (a ready padded curve has one).
inline Shares sharesAt(const int16_t* paddedCurve, const uint8_t* dotTable, uint32_t v,
                       uint32_t jitterCell) {
  const auto margin = static_cast<uint32_t>(paddedCurve[0]);
  const int32_t level = paddedCurve[v + jitterCell % margin + 1];
  const uint8_t* row = dotTable + 3 * level;
  return {level, row[0], row[1], row[2]};
}

// The spread limits, compared signed with the small-dot share.
struct Limits {
  int32_t l1, l2, l3;
  explicit Limits(const EngineTables& t)
      : l1(static_cast<int32_t>(t.spreadLimit1)),
        l2(static_cast<int32_t>(t.spreadLimit2)),
        l3(static_cast<int32_t>(t.spreadLimit3)) {}
};

bool largerDotShares(const Shares& s, const Limits& limit) {
  return s.large != 0 || s.medium != 0 || s.small > limit.l1;
}

struct General {
  static constexpr const KernelTable& kKernels = kBilevelKernels;
  static size_t row(const Shares& s, uint32_t code, const Limits& limit) {
    if (largerDotShares(s, limit)) return bilevel_rows::kAboveLimit1;
    if (code == 0) return bilevel_rows::kNoDot;
    if (s.small > limit.l2) return bilevel_rows::kAboveLimit2;
    if (s.small > limit.l3) return bilevel_rows::kAboveLimit3;
    return bilevel_rows::kAboveT;
  }
};

struct At1440 {
  static constexpr const KernelTable& kKernels = kBilevel1440Kernels;
  static size_t row(const Shares& s, uint32_t code, const Limits& limit) {
    if (code == 0) return bilevel1440_rows::kNoDot;
    if (largerDotShares(s, limit)) return bilevel1440_rows::kAboveLimit1;
    if (s.small > limit.l2) return bilevel1440_rows::kAboveLimit2;
    return bilevel1440_rows::kAboveLimit3;
  }
};

template <typename Variant, int32_t kStep>
Status screen(const EngineTables& tables, RunState& state, const HalftoneRun& run) {
  if (const Status status = openScreenRun(tables, state, run); status != kOk) return status;

  const int16_t* paddedCurve = tables.paddedCurve.data();
  const uint8_t* dotTable = tables.dotTable.data();
  const uint16_t* levelTable = tables.levelTable.data();
  const int16_t* threshold = tables.diffusionThreshold.data();
  const MatrixRow matrixRow = matrixRowOf(tables, run.lineNumber);
  const ColourDiffusionTables& rows = tables.colourDiffusion;
  int16_t* cell = tables.errorLines[0].atPixel0() + run.startX;
  int16_t carry = 0;
  DotCodeWriter out(run.destination, run.bitOffset);

  for (uint32_t i = 0; i < run.pixelCount; ++i, ++cell) {
    const uint8_t v = sourceValue<PairRule::kFirstOnly>(run.source, kStep, i);
    if (v == kPaperWhite) {
      *cell = carry;
      carry = 0;
      out.put(0);
      continue;
    }
    const uint32_t x = run.startX + i;
    const auto m = static_cast<uint16_t>(matrixRow.at(x));
    const Shares s = sharesAt(paddedCurve, dotTable, v, matrixRow.at(x + 24));
    const int32_t large = levelTable[s.large];
    const int32_t largeAndMedium = large + levelTable[s.medium];
    int32_t acc = readCell<CellRead::kDivide>(*cell) + s.small + s.medium + s.large;
    uint32_t code = 0;
    if (m < large) {
      code = 3;
    } else if (largeAndMedium > m) {
      code = 2;
    } else if (s.small != 0 && threshold[s.level] + perturbation(m) <= acc) {
      code = 1;
    }
    if (code != 0) acc -= kPrintedDot;
    const Parity parity = parityOf(m);
    const uint32_t row =
        patternRow(rows, kPlanes0And3, 0, code != 0, static_cast<uint32_t>(s.level));
    carry = spread<Variant::kKernels>(row, parity, cell, acc, carry);
    out.put(code);
  }
  out.finish();
  return kOk;
}

// Step -1 reads one value per pixel here, like step 0.
// The kernel row of every level, with and without a dot, chosen once per
// context from the level's shares.
template <typename Variant>
void prepareRows(EngineTables& tables) {
  const Limits limits(tables);
  for (uint32_t level = 0; level < kLevelCount; ++level) {
    const uint8_t* row = tables.dotTable.data() + 3 * level;
    const Shares s = {static_cast<int32_t>(level), row[0], row[1], row[2]};
    for (uint32_t code : {0u, 1u}) {
      tables.colourDiffusion
          .pattern[ColourDiffusionTables::patternIndex(kPlanes0And3, 0, code != 0, level)] =
          static_cast<uint8_t>(Variant::row(s, code, limits));
    }
  }
}

template <typename Variant>
Engine variantFor(const PrintMode& mode) {
  return mode.sourceStep == 1 ? screen<Variant, 1> : screen<Variant, 0>;
}

}  // namespace

void prepareScreenFourLevel(EngineTables& tables) {
  prepareRows<General>(tables);
}

void prepareScreenFourLevel1440(EngineTables& tables) {
  prepareRows<At1440>(tables);
}

Engine screenFourLevel1440(const PrintMode& mode) {
  return variantFor<At1440>(mode);
}

Engine screenFourLevel(const PrintMode& mode) {
  return variantFor<General>(mode);
}

}  // namespace kestrl::halftone
