// One-bit colour diffusion for the runs the cached engines do not take
// (four-ink sources, two source pixels per output pixel): DiffuseBilevel at
// most resolutions, DiffuseBilevel1440 at 1440 x 720.
//
// With inkSet 4 the source carries four ink levels per pixel (bytes c0..c3,
// plane k from byte k), stepped like RGB pixels but four bytes each; a pixel
// whose four levels are all 0 is treated as white, and the grid, the node
// choice and the smoothing are not used.
#include "halftone/engines/bilevel_colour_loop.h"

namespace kestrl::halftone {

namespace {

using namespace diffusion;

// White pixels and idle planes leave the carry in the cell of x.
constexpr EngineRules kGeneral = {PatternFamily::kGeneral, CarryAtCell::kStore,
                                  CarryAtCell::kStore};
// White pixels drop the carry; an idle plane keeps it for its next active pixel.
constexpr EngineRules k1440 = {PatternFamily::k1440, CarryAtCell::kDrop, CarryAtCell::kKeepPending};

template <EngineRules kRules, bool kInkSource>
Status diffuse(const EngineTables& tables, RunState& state, const HalftoneRun& run) {
  if (const Status status = checkRun(tables.lineWidth, run); status != kOk) return status;
  if (const Status status = checkColourDiffusionTables(tables); status != kOk) return status;
  diffuseBilevelColour<kRules, kInkSource>(tables, state, run, true);
  return kOk;
}

template <EngineRules kRules>
Engine variantFor(const PrintMode& mode) {
  return mode.inkSet == kInkSetFromSource ? diffuse<kRules, true> : diffuse<kRules, false>;
}

}  // namespace

Engine diffuseBilevel(const PrintMode& mode) {
  return variantFor<kGeneral>(mode);
}

Engine diffuseBilevel1440(const PrintMode& mode) {
  return variantFor<k1440>(mode);
}

}  // namespace kestrl::halftone
