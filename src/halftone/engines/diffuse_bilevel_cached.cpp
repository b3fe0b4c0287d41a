// One-bit colour diffusion of RGB runs, the engines Halftone uses for most
// colour jobs: DiffuseBilevelCached (the patterns of DiffuseBilevel) and
// DiffuseBilevelCached1440 (those of DiffuseBilevel1440). Levels always come
// from the colour grid. colorInput 2 asks for three planes: plane 3 is still
// diffused, so planes 0 to 2 come out as with four, but its bytes are not
// written. A level of 0 on an active plane spreads by the no-dot pattern, or
// by the widest after a dot, without looking at the limits; an idle plane
// always leaves its carry in the cell of x.
//
// These engines do not repeat Halftone's run checks. They refuse a matrix
// wider than 256 columns with kBadResource, then, like the other colour
// engines, a context without three error lines (kBadParameter) or without
// the stage tables (kBadResource); a refused call changes nothing.
#include "halftone/engines/bilevel_colour_loop.h"

namespace kestrl::halftone {

namespace {

using namespace diffusion;

constexpr uint32_t kWidestMatrix = 256;
constexpr uint32_t kThreePlaneInput = 2;

constexpr EngineRules kGeneral = {PatternFamily::kGeneral, CarryAtCell::kStore,
                                  CarryAtCell::kStore};
constexpr EngineRules k1440 = {PatternFamily::k1440, CarryAtCell::kDrop, CarryAtCell::kStore};

template <EngineRules kRules, bool kWithPlane3>
Status diffuseCached(const EngineTables& tables, RunState& state, const HalftoneRun& run) {
  if (tables.matrixWidth > kWidestMatrix) return kBadResource;
  if (const Status status = checkColourDiffusionTables(tables); status != kOk) return status;
  diffuseBilevelColour<kRules, false>(tables, state, run, kWithPlane3);
  return kOk;
}

template <EngineRules kRules>
Engine variantFor(const PrintMode& mode) {
  return mode.colorInput == kThreePlaneInput ? diffuseCached<kRules, false>
                                             : diffuseCached<kRules, true>;
}

}  // namespace

Engine diffuseBilevelCached(const PrintMode& mode) {
  return variantFor<kGeneral>(mode);
}

Engine diffuseBilevelCached1440(const PrintMode& mode) {
  return variantFor<k1440>(mode);
}

}  // namespace kestrl::halftone
