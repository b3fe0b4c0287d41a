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

template <EngineRules kRules>
Status diffuse(HalftoneContext& context, const EngineTables& tables, const HalftoneRun& run) {
  if (const Status status = checkRun(context, run); status != kOk) return status;
  if (const Status status = checkColourDiffusionTables(tables); status != kOk) return status;
  diffuseBilevelColour<kRules>(context, tables, run, context.printMode.inkSet == kInkSetFromSource,
                               true);
  return kOk;
}

}  // namespace

Status diffuseBilevel(HalftoneContext& context, const EngineTables& tables,
                      const HalftoneRun& run) {
  return diffuse<kGeneral>(context, tables, run);
}

Status diffuseBilevel1440(HalftoneContext& context, const EngineTables& tables,
                          const HalftoneRun& run) {
  return diffuse<k1440>(context, tables, run);
}

}  // namespace kestrl::halftone
