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

template <EngineRules kRules>
Status diffuseCached(HalftoneContext& context, const EngineTables& tables, const HalftoneRun& run) {
  if (tables.matrixWidth > kWidestMatrix) return kBadResource;
  if (const Status status = checkColourDiffusionTables(tables); status != kOk) return status;
  const bool withPlane3 = context.printMode.colorInput != kThreePlaneInput;
  diffuseBilevelColour<kRules>(context, tables, run, false, withPlane3);
  return kOk;
}

}  // namespace

Status diffuseBilevelCached(HalftoneContext& context, const EngineTables& tables,
                            const HalftoneRun& run) {
  return diffuseCached<kGeneral>(context, tables, run);
}

Status diffuseBilevelCached1440(HalftoneContext& context, const EngineTables& tables,
                                const HalftoneRun& run) {
  return diffuseCached<k1440>(context, tables, run);
}

}  // namespace kestrl::halftone
