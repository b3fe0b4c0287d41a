// The pixel loop shared by the five one-bit colour diffusion engines.
//
// Every pixel of a run is read as RGB (levels from the colour grid through
// the dithered node choice and neighbour smoothing) or, with inkSet 4, as
// four ink levels. Plane 2 is screened against the matrix alone; planes 0, 1
// and 3 each keep an error line (lines 0, 1 and 2), a carry for the next
// line's cell right of the pixel, and an activity register. An active plane
// adds the error that reached the pixel (the cell, floored to whole levels)
// to its level, places a dot when the nudged threshold is reached, and
// spreads what remains by a pattern chosen by level and dot. The engines
// differ only in their pattern family and in what white and idle pixels do
// with the carry; an odd run ends with the last-pixel dither.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "halftone/engine.h"
#include "halftone/kernels/colour_diffusion.h"
#include "halftone/kernels/colour_patterns.h"
#include "halftone/kernels/matrix_row.h"
#include "halftone/kernels/plane_set.h"
#include "halftone/kernels/spread_kernels.h"

namespace kestrl::halftone::diffusion {

inline constexpr uint32_t kDiffusedPlanes = 3;  // planes 0, 1, 3 on error lines 0, 1, 2

enum class PatternFamily : uint8_t { kGeneral, k1440, kDoubleVertical };

using halftone::MatrixRow;

// The spread limits, compared signed with the level.
struct SpreadLimits {
  int32_t l1, l2, l3, l4;
};

// The pattern row that spreads a pixel's error (first matching rule):
//   general          N1 level > l1, N2 no dot, N3 > l2, N4 > l3, N5 > last, N6
//   1440 x 720       W1 no dot, W2 > l1, W3 > l2, W4 > l3, W5 > last, W6
//   double vertical  V1 > l1, V2 > l2, V3 no dot, V4 > l3, V5 > last, V6
// The last limit is l4 - parity for planes 0 and 3 in the general family and
// for every plane in the double-vertical family; l4 otherwise.
PatternRow choosePattern(PatternFamily family, const SpreadLimits& limits, PlaneClass plane,
                         uint32_t parity, bool dot, int32_t level);

// Fills tables.colourDiffusion from the stage tables: the per-level copies,
// the grid index columns and the pattern choice of the family. With
// zeroLevelTakesWidest a level of 0 spreads by the no-dot pattern or, after a
// dot, by the widest one, whatever the limits.
void prepareColourDiffusion(EngineTables& tables, PatternFamily family, bool zeroLevelTakesWidest);

// Refuses a run before anything changes: kBadParameter when the mode made
// fewer than three error lines (mode 2 makes at most one), kBadResource
// unless every stage succeeded and the tables have their full sizes.
Status checkColourDiffusionTables(const EngineTables& tables);

struct EngineRules {
  PatternFamily family;
  CarryAtCell white;
  CarryAtCell idle;
  bool operator==(const EngineRules&) const = default;
};

template <PatternFamily family>
constexpr const KernelTable& patternsOf() {
  if constexpr (family == PatternFamily::kGeneral) return kGeneralColourPatterns;
  if constexpr (family == PatternFamily::k1440) return k1440ColourPatterns;
  if constexpr (family == PatternFamily::kDoubleVertical) return kDoubleVerticalColourPatterns;
}

// The three diffused planes, each on its own error line: the readable form
// of the loop, which the planes-in-lanes kernels are held against. At a
// non-white pixel each plane either settles by the engine's idle rule or
// spreads its error, then the pixel ends.
template <const KernelTable& kPatterns>
class SeparatePlanes {
 public:
  SeparatePlanes(const std::array<int16_t*, kDiffusedPlanes>& lines, uint32_t startX)
      : planes_{Plane(lines[0] + startX), Plane(lines[1] + startX), Plane(lines[2] + startX)} {}

  // The error that has reached the pixel in plane k, in whole levels.
  int32_t error(uint32_t k) const { return planes_[k].template error<CellRead::kShift>(); }

  // A white pixel: every plane settles.
  void settle(CarryAtCell rule) {
    for (Plane& plane : planes_) plane.settle(rule);
  }

  void idle(uint32_t k, CarryAtCell rule) { planes_[k].settle(rule); }
  void spread(uint32_t k, uint32_t row, Parity parity, int32_t e) {
    planes_[k].spread(row, parity, e);
  }
  void endPixel(Parity /*parity*/, CarryAtCell /*idle*/) {}

 private:
  using Plane = DiffusedPlane<kPatterns>;
  std::array<Plane, kDiffusedPlanes> planes_;
};

// The pixel rules of the one-bit colour loop; Planes keeps the diffused
// planes' cells and carries (SeparatePlanes, or the planes in SIMD lanes).
template <EngineRules kRules, bool kInkSource, class Planes>
class BilevelColourLoop {
 public:
  // The diffused planes are made from planeArgs.
  template <class... PlaneArgs>
  BilevelColourLoop(const EngineTables& tables, const uint16_t* matrixRow, ColourPlanes& planes,
                    const PlaneArgs&... planeArgs)
      : t_(tables.colourDiffusion),
        grid_(tables.colorGrid.data()),
        row_(matrixRow),
        columnMask_(tables.matrixWidth - 1),
        diffused_(planeArgs...),
        planes_(planes) {}

  Planes& diffused() { return diffused_; }

  // Pixels x .. x + count - 1 (count even), in pairs.
  void run(const uint8_t* source, const SourceStepping& stepping, uint32_t x, uint32_t count) {
    for (uint32_t i = 0; i < count; i += 2, x += 2, source += stepping.pairBytes) {
      pixel(source, x);
      pixel(source + stepping.secondOfPair, x + 1);
    }
  }

 private:
  void pixel(const uint8_t* source, uint32_t x) {
    if (kInkSource ? isBlankInk(source) : isWhite(source)) {
      diffused_.settle(kRules.white);
      planes_.advance();
      return;
    }
    const uint32_t m = row_[x & columnMask_];
    const uint32_t parity = m & 1;
    const int32_t nudge = perturbation(m);
    const InkLevels levels = kInkSource ? loadLevels(source) : gridLevels(source, m & 0xFE, parity);
    const uint32_t c0 = levelOf(levels, 0), c1 = levelOf(levels, 1);
    const uint32_t c2 = levelOf(levels, 2), c3 = levelOf(levels, 3);
    const bool active0 = activity_[0].record(c0);
    const bool active1 = activity_[1].record(c1);
    const bool active3 = activity_[2].record(c3);
    planes_.set(2, m < t_.share[c2]);
    planes_.set(0, diffuse(0, kPlanes0And3, active0, c0, nudge, parity));
    planes_.set(1, diffuse(1, kPlane1, active1, c1, -nudge, parity));
    planes_.set(3, diffuse(2, kPlanes0And3, active3, c3, nudge, parity));
    diffused_.endPixel(static_cast<Parity>(parity), kRules.idle);
    planes_.advance();
  }

  InkLevels gridLevels(const uint8_t* rgb, uint32_t t, uint32_t parity) {
    const uint32_t r = ditheredNode(t_.axis, rgb[0], t);
    const uint32_t g = ditheredNode(t_.axis, rgb[1], t);
    const uint32_t b = ditheredNode(t_.axis, rgb[2], t);
    return smoothing_.apply(r, g, b, loadLevels(grid_ + gridNodeOffset(r, g, b)), parity);
  }

  // Diffused plane k at the pixel; true for a dot.
  bool diffuse(uint32_t k, PlaneClass planeClass, bool active, uint32_t level, int32_t nudge,
               uint32_t parity) {
    if (!active) {
      diffused_.idle(k, kRules.idle);
      return false;
    }
    const int32_t v = static_cast<int32_t>(level) + diffused_.error(k);
    const bool dot = t_.threshold[level] + nudge <= v;
    // Without a branch: which way a pixel goes is close to random.
    const int32_t e = v - t_.dotValue[level] * static_cast<int32_t>(dot);
    diffused_.spread(k, patternRow(t_, planeClass, parity, dot, level), static_cast<Parity>(parity),
                     e);
    return dot;
  }

  const ColourDiffusionTables& t_;
  const uint8_t* grid_;
  const uint16_t* row_;
  uint32_t columnMask_;
  Planes diffused_;
  ColourPlanes& planes_;
  std::array<ActivityRegister, kDiffusedPlanes> activity_;
  NeighbourSmoothing smoothing_;
};

// The rules of the five one-bit engines, which the planes-in-lanes kernels
// are compiled for (each with RGB and with four-ink sources).
inline constexpr std::array<EngineRules, 4> kLaneRules = {{
    {PatternFamily::kGeneral, CarryAtCell::kStore, CarryAtCell::kStore},
    {PatternFamily::k1440, CarryAtCell::kDrop, CarryAtCell::kKeepPending},
    {PatternFamily::k1440, CarryAtCell::kDrop, CarryAtCell::kStore},
    {PatternFamily::kDoubleVertical, CarryAtCell::kStore, CarryAtCell::kStore},
}};
inline constexpr size_t kLaneVariants = 2 * kLaneRules.size();

// The kernel index of an engine's rules and source; kLaneVariants for none.
constexpr size_t laneVariantOf(EngineRules rules, bool inkSource) {
  for (size_t i = 0; i < kLaneRules.size(); ++i) {
    if (kLaneRules[i] == rules) return 2 * i + (inkSource ? 1 : 0);
  }
  return kLaneVariants;
}

// The main loop of a run (count even pixels from startX) with the diffused
// planes in SIMD lanes; the error lines are left as the scalar loop leaves them.
struct LaneRunArgs {
  const EngineTables& tables;
  const uint16_t* matrixRow;
  std::array<int16_t*, kDiffusedPlanes> lines;
  const uint8_t* source;
  SourceStepping stepping;
  uint32_t startX;
  uint32_t count;
  ColourPlanes& planes;
};
using LaneRun = void (*)(const LaneRunArgs& args);

// The kernels of one instruction set, by laneVariantOf (null: none).
struct PlaneLaneKernels {
  const char* name;
  std::array<LaneRun, kLaneVariants> run;
};

// The kernels of the best instruction set this processor runs, or null when
// the build has none or the processor runs none of them.
const PlaneLaneKernels* bestPlaneLaneKernels();

// Every instruction set whose kernels this build holds and this processor
// runs (for tests and benchmarks).
std::span<const PlaneLaneKernels* const> runnablePlaneLaneKernels();

// One run after the engine's own checks: error-line upkeep, the paired main
// loop, the last pixel of an odd run and the final bytes.
template <EngineRules kRules, bool kInkSource>
void diffuseBilevelColour(const EngineTables& tables, RunState& state, const HalftoneRun& run,
                          bool withPlane3) {
  const std::array<int16_t*, kDiffusedPlanes> lines = {tables.errorLines[0].atPixel0(),
                                                       tables.errorLines[1].atPixel0(),
                                                       tables.errorLines[2].atPixel0()};
  upkeepErrorLines(lines, state, tables.lineWidth, run.lineNumber, run.pixelCount, run.startX);
  ColourPlanes planes(run.destination, run.planeStride, run.bitOffset, withPlane3);
  const MatrixRow row = matrixRowOf(tables, run.lineNumber);
  const SourceStepping stepping(tables.sourceStep, kInkSource ? kInkPixelBytes : kRgbPixelBytes);
  const uint32_t paired = run.pixelCount & ~1u;
  const PlaneLaneKernels* lanes = tables.colourDiffusion.lanes;
  constexpr size_t kVariant = laneVariantOf(kRules, kInkSource);
  const LaneRun laneRun =
      lanes != nullptr && kVariant < kLaneVariants ? lanes->run[kVariant] : nullptr;
  if (laneRun != nullptr) {
    laneRun({tables, row.cells, lines, run.source, stepping, run.startX, paired, planes});
  } else {
    using Planes = SeparatePlanes<patternsOf<kRules.family>()>;
    BilevelColourLoop<kRules, kInkSource, Planes>(tables, row.cells, planes, lines, run.startX)
        .run(run.source, stepping, run.startX, paired);
  }
  const bool odd = run.pixelCount % 2 != 0;
  if (odd) {
    // Four source bytes, or the grid node at the middle dither value with
    // faint levels dropped; the cell from the top counts from matrixCells - 1.
    const uint8_t* pixel = run.source + stepping.offsetOf(paired);
    const GridAxis& axis = tables.colourDiffusion.axis;
    const InkLevels levels =
        kInkSource
            ? loadLevels(pixel)
            : loadLevels(closingNodeLevels(axis.node.data(), axis.lowerWeight.data(),
                                           tables.colorGrid.data(), pixel, kClosingDither, true)
                             .data());
    const auto m = static_cast<int32_t>(row.at(run.startX + paired));
    const int32_t fromTop = static_cast<int32_t>(tables.matrixCells) - 1 - m;
    planes.setAll(closingDots({levels, m, fromTop}, tables.levelTable.data()));
  }
  planes.flush(odd);
}

}  // namespace kestrl::halftone::diffusion
