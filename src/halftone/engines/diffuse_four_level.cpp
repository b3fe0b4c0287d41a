// Two-bit colour by error diffusion (mode 1): each ink level is split by the
// dot table into small, medium and large shares. Large and medium dots are
// placed against the threshold matrix; small dots are diffused, planes 0, 1
// and 3 each on their own error line (cells read as cell / 32 truncated
// toward zero, every printed dot counting 255); plane 2 is placed against
// the matrix alone.
//
// The dither value that chooses the grid nodes and nudges the small-dot
// threshold is the matrix cell 24 columns on, scaled to 8 bits; its low bit
// is the parity of the spread patterns and of the smoothing. The square
// engine spreads by the general colour patterns, the 1440 x 720 engine by
// the 1440 ones; lighter small-dot shares spread wider.
//
// A plane whose small share was 0 for this and the four non-white pixels
// before it in the run stops diffusing: it places only medium and large dots
// and its cell takes the pending carry instead of the error it held. The
// closing pixel of an odd run takes its node at the middle dither value,
// drops faint levels and places every plane against the matrix alone.
#include "halftone/engines/colour_screen_run.h"
#include "halftone/kernels/colour_patterns.h"
#include "halftone/kernels/error_line.h"
#include "halftone/kernels/plane_set.h"
#include "halftone/kernels/spread_kernels.h"

namespace kestrl::halftone {

namespace {

using namespace diffusion;

constexpr int32_t kPrintedDot = 255;
constexpr uint32_t kErrorLinesUsed = 3;  // planes 0, 1 and 3
constexpr uint32_t kLargeDot = 3, kMediumDot = 2, kSmallDot = 1, kNoDot = 0;

struct Limits {
  int32_t l1, l2, l3;
};

// A level's small, medium and large dot shares (its row of the dot table).
struct Shares {
  int32_t small, medium, large;
  bool hasLargerDots() const { return medium != 0 || large != 0; }
};

// The pattern row of a level's shares after the pixel's code, first
// matching rule. Square resolutions: patterns 1 to 5 are rows 1 to 5 of the
// general ones.
PatternRow squareRow(const Shares& s, bool dot, const Limits& limit) {
  if (s.hasLargerDots() || s.small > limit.l1) return kRow1;
  if (!dot) return kRow2;
  if (s.small > limit.l2) return kRow3;
  return s.small > limit.l3 ? kRow4 : kRow5;
}

// 1440 x 720: the no-dot pattern and the three nearest dot patterns, rows 1
// to 4 of the 1440 ones.
PatternRow rowAt1440(const Shares& s, bool dot, const Limits& limit) {
  if (!dot) return kRow1;
  if (s.hasLargerDots() || s.small > limit.l1) return kRow2;
  return s.small > limit.l2 ? kRow3 : kRow4;
}

struct Square {
  static constexpr const KernelTable& kPatterns = kGeneralColourPatterns;
};
struct At1440 {
  static constexpr const KernelTable& kPatterns = k1440ColourPatterns;
};

// The pattern rows of every level, with and without a dot, by its shares.
void preparePatternRows(EngineTables& t, PatternRow (*row)(const Shares&, bool, const Limits&)) {
  const Limits limits = {static_cast<int32_t>(t.spreadLimit1), static_cast<int32_t>(t.spreadLimit2),
                         static_cast<int32_t>(t.spreadLimit3)};
  for (uint32_t level = 0; level < kLevelCount; ++level) {
    const uint8_t* shares = t.dotTable.data() + 3 * level;
    const Shares s = {shares[0], shares[1], shares[2]};
    for (bool dot : {false, true}) {
      t.colourDiffusion.pattern[ColourDiffusionTables::patternIndex(kPlanes0And3, 0, dot, level)] =
          row(s, dot, limits);
    }
  }
}

template <typename Variant>
using Plane = DiffusedPlane<Variant::kPatterns>;

// The code of one plane at one pixel against matrix cell th: large and
// medium dots by the matrix; an active plane also diffuses the small dot.
template <typename Variant>
uint32_t place(const EngineTables& t, Plane<Variant>& p, uint32_t level, uint32_t th, int32_t nudge,
               Parity parity) {
  const uint8_t* row = t.dotTable.data() + 3 * level;
  const Shares s = {row[0], row[1], row[2]};
  const DotThresholds& d = t.dotThresholds[level];
  const uint32_t larger = d.large > th ? kLargeDot : d.largeOrMedium > th ? kMediumDot : kNoDot;
  if (!p.record(static_cast<uint32_t>(s.small))) {
    p.settle(CarryAtCell::kStore);
    return larger;
  }
  int32_t v = p.template error<CellRead::kDivide>() + s.small + s.medium + s.large;
  uint32_t code = larger;
  if (code == kNoDot && s.small != 0 && t.diffusionThreshold[level] + nudge <= v) {
    code = kSmallDot;
  }
  if (code != kNoDot) v -= kPrintedDot;
  p.spread(patternRow(t.colourDiffusion, kPlanes0And3, 0, code != kNoDot, level), parity, v);
  return code;
}

// Right shifts that bring the matrix cells to 8 bits: none for up to 510
// cells, 4 for 4096.
uint32_t cellShift(uint32_t matrixCells) {
  uint32_t shift = 0;
  for (uint32_t n = (matrixCells + 1) >> 9; n != 0; n >>= 1) ++shift;
  return shift;
}

template <typename Variant, bool kInkSource>
void diffuseRun(const EngineTables& t, const HalftoneRun& run) {
  ColourPixels<kInkSource> pixels(t, t.sourceStep, run.source);
  const MatrixRows rows(t, run.lineNumber);
  const uint32_t shift = cellShift(t.matrixCells);
  Plane<Variant> plane0(t.errorLines[0].atPixel0() + run.startX);
  Plane<Variant> plane1(t.errorLines[1].atPixel0() + run.startX);
  Plane<Variant> plane3(t.errorLines[2].atPixel0() + run.startX);
  DotCodePlanes out(run);
  const uint32_t paired = run.pixelCount & ~1u;
  uint32_t x = run.startX;
  for (uint32_t i = 0; i < paired; ++i, ++x) {
    const uint8_t* pixel = pixels.at(i);
    if (pixels.isBlank(pixel)) {
      plane0.settle(CarryAtCell::kStore);
      plane1.settle(CarryAtCell::kStore);
      plane3.settle(CarryAtCell::kStore);
      out.put({});
      continue;
    }
    const uint32_t u = rows.a(x + 24);
    const uint32_t dither = (u >> shift) & 0xFEu;
    const uint32_t parity = u & 1;
    const int32_t nudge = perturbation(dither);
    const InkLevels ink = pixels.levels(pixel, dither, parity);
    const std::array<uint32_t, kInksPerNode> th = rows.planeCells(x);
    const auto p = static_cast<Parity>(parity);
    const uint32_t code3 = place<Variant>(t, plane3, levelOf(ink, 3), th[3], nudge, p);
    const uint32_t code0 = place<Variant>(t, plane0, levelOf(ink, 0), th[0], nudge, p);
    const uint32_t code1 = place<Variant>(t, plane1, levelOf(ink, 1), th[1], -nudge, p);
    out.put({code0, code1, orderedCode(t.dotThresholds[levelOf(ink, 2)], th[2]), code3});
  }
  if (paired != run.pixelCount) {
    const InkLevels ink = pixels.closingLevels(pixels.at(paired), kClosingDither, true);
    out.put(orderedCodes(t, ink, rows, x));
  }
  out.finish();
}

template <typename Variant, bool kInkSource>
Status diffuse(const EngineTables& tables, RunState& state, const HalftoneRun& run) {
  if (const Status s = checkRun(tables.lineWidth, run); s != kOk) return s;
  for (uint32_t k = 0; k < kErrorLinesUsed; ++k)
    if (tables.errorLines[k].empty()) return kBadParameter;
  if (!tables.ready) return kBadResource;
  const std::array<int16_t*, kErrorLinesUsed> lines = {tables.errorLines[0].atPixel0(),
                                                       tables.errorLines[1].atPixel0(),
                                                       tables.errorLines[2].atPixel0()};
  upkeepErrorLines(lines, state, tables.lineWidth, run.lineNumber, run.pixelCount, run.startX);
  diffuseRun<Variant, kInkSource>(tables, run);
  return kOk;
}

template <typename Variant>
Engine variantFor(const PrintMode& mode) {
  return mode.inkSet == kInkSetFromSource ? diffuse<Variant, true> : diffuse<Variant, false>;
}

}  // namespace

// Without its three error lines a context is refused with kBadParameter; a
// job whose stages did not leave the colour grid (four inks per node), the
// grid index, the matrix or the dot table with kBadResource; nothing is
// written then. reserved10 is not looked at.
void prepareDiffuseFourLevel(EngineTables& tables) {
  prepareFourLevelColour(tables);
  preparePatternRows(tables, squareRow);
}

void prepareDiffuseFourLevel1440(EngineTables& tables) {
  prepareFourLevelColour(tables);
  preparePatternRows(tables, rowAt1440);
}

Engine diffuseFourLevel(const PrintMode& mode) {
  return variantFor<Square>(mode);
}

Engine diffuseFourLevel1440(const PrintMode& mode) {
  return variantFor<At1440>(mode);
}

}  // namespace kestrl::halftone
