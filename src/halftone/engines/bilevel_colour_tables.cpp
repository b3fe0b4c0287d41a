#include "halftone/engines/bilevel_colour_loop.h"

namespace kestrl::halftone::diffusion {

namespace {

constexpr size_t kGridIndexBytes = 2 * kLevelCount;

}  // namespace

PatternRow choosePattern(PatternFamily family, const SpreadLimits& limits, PlaneClass plane,
                         uint32_t parity, bool dot, int32_t level) {
  const int32_t p = static_cast<int32_t>(parity);
  switch (family) {
    case PatternFamily::kGeneral: {
      const int32_t last = plane == kPlanes0And3 ? limits.l4 - p : limits.l4;
      if (level > limits.l1) return kRow1;
      if (!dot) return kRow2;
      if (level > limits.l2) return kRow3;
      if (level > limits.l3) return kRow4;
      return level > last ? kRow5 : kRow6;
    }
    case PatternFamily::k1440:
      if (!dot) return kRow1;
      if (level > limits.l1) return kRow2;
      if (level > limits.l2) return kRow3;
      if (level > limits.l3) return kRow4;
      return level > limits.l4 ? kRow5 : kRow6;
    case PatternFamily::kDoubleVertical:
      break;
  }
  if (level > limits.l1) return kRow1;
  if (level > limits.l2) return kRow2;
  if (!dot) return kRow3;
  if (level > limits.l3) return kRow4;
  return level > limits.l4 - p ? kRow5 : kRow6;
}

namespace {

// The pattern row of every plane class, parity, dot and level.
void preparePatternChoice(EngineTables& tables, PatternFamily family, bool zeroLevelTakesWidest) {
  ColourDiffusionTables& t = tables.colourDiffusion;
  const SpreadLimits limits = {
      static_cast<int32_t>(tables.spreadLimit1), static_cast<int32_t>(tables.spreadLimit2),
      static_cast<int32_t>(tables.spreadLimit3), static_cast<int32_t>(tables.spreadLimit4)};
  const PatternRow noDotRow = family == PatternFamily::k1440 ? kRow1 : kRow2;
  for (PlaneClass plane : {kPlanes0And3, kPlane1}) {
    for (uint32_t parity = 0; parity < 2; ++parity) {
      for (bool dot : {false, true}) {
        for (uint32_t level = 0; level < kLevelCount; ++level) {
          PatternRow row =
              choosePattern(family, limits, plane, parity, dot, static_cast<int32_t>(level));
          if (zeroLevelTakesWidest && level == 0) row = dot ? kRow6 : noDotRow;
          t.pattern[ColourDiffusionTables::patternIndex(plane, parity, dot, level)] = row;
        }
      }
    }
  }
}

}  // namespace

void prepareColourDiffusion(EngineTables& tables, PatternFamily family, bool zeroLevelTakesWidest) {
  ColourDiffusionTables& t = tables.colourDiffusion;
  if (checkColourDiffusionTables(tables) != kOk) return;
  for (uint32_t v = 0; v < kLevelCount; ++v) {
    t.threshold[v] = tables.diffusionThreshold[v];
    t.dotValue[v] = tables.dotValue[v];
    t.share[v] = tables.levelTable[v];
  }
  splitGridIndex(tables.gridIndex.data(), t.axis);
  preparePatternChoice(tables, family, zeroLevelTakesWidest);
  t.lanes = bestPlaneLaneKernels();
}

Status checkColourDiffusionTables(const EngineTables& tables) {
  for (uint32_t k = 0; k < kDiffusedPlanes; ++k) {
    if (tables.errorLines[k].empty()) return kBadParameter;
  }
  const bool complete =
      tables.colorGrid.size() >= kColourGridBytes && tables.gridIndex.size() >= kGridIndexBytes &&
      tables.diffusionThreshold.size() >= kLevelCount && tables.dotValue.size() >= kLevelCount &&
      tables.levelTable.size() >= kLevelCount;
  return tables.ready && complete ? kOk : kBadResource;
}

#ifndef KESTRL_SIMD
// A build without SIMD kernels runs the scalar loop.
const PlaneLaneKernels* bestPlaneLaneKernels() {
  return nullptr;
}

std::span<const PlaneLaneKernels* const> runnablePlaneLaneKernels() {
  return {};
}
#endif

}  // namespace kestrl::halftone::diffusion

namespace kestrl::halftone {

using diffusion::PatternFamily;

void prepareDiffuseBilevel(EngineTables& tables) {
  prepareColourDiffusion(tables, PatternFamily::kGeneral, false);
}

void prepareDiffuseBilevel1440(EngineTables& tables) {
  prepareColourDiffusion(tables, PatternFamily::k1440, false);
}

void prepareDiffuseBilevelCached(EngineTables& tables) {
  prepareColourDiffusion(tables, PatternFamily::kGeneral, true);
}

void prepareDiffuseBilevelCached1440(EngineTables& tables) {
  prepareColourDiffusion(tables, PatternFamily::k1440, true);
}

// The diffused plane of the colour screening spreads by the general
// patterns with plane 1's limits.
void prepareColourScreenDiffused(EngineTables& tables) {
  prepareColourScreen(tables);
  diffusion::preparePatternChoice(tables, PatternFamily::kGeneral, false);
}

void prepareDiffuseBilevelDoubleVertical(EngineTables& tables) {
  prepareColourDiffusion(tables, PatternFamily::kDoubleVertical, false);
}

}  // namespace kestrl::halftone
