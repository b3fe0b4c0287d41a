// One-bit colour diffusion when the vertical resolution is twice the
// horizontal: DiffuseBilevel with the V patterns, which hand the line below
// 24 of every 32 parts of a light pixel's error. inkSet 4 reads four ink
// levels per pixel as DiffuseBilevel does.
#include "halftone/engines/bilevel_colour_loop.h"

namespace kestrl::halftone {

namespace {

using namespace diffusion;

constexpr EngineRules kDoubleVertical = {PatternFamily::kDoubleVertical, CarryAtCell::kStore,
                                         CarryAtCell::kStore};

template <bool kInkSource>
Status diffuse(const EngineTables& tables, RunState& state, const HalftoneRun& run) {
  if (const Status status = checkRun(tables.lineWidth, run); status != kOk) return status;
  if (const Status status = checkColourDiffusionTables(tables); status != kOk) return status;
  diffuseBilevelColour<kDoubleVertical, kInkSource>(tables, state, run, true);
  return kOk;
}

}  // namespace

Engine diffuseBilevelDoubleVertical(const PrintMode& mode) {
  return mode.inkSet == kInkSetFromSource ? diffuse<true> : diffuse<false>;
}

}  // namespace kestrl::halftone
