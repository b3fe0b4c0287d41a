// The run of an engine that keeps nothing between lines but the last line
// number: the engine's run checks, then kBadResource (nothing written) when
// the context's stages did not all succeed, then the line itself.
#pragma once

#include "halftone/engine.h"

namespace kestrl::halftone {

template <auto kCheck, auto kLine>
Status lineRun(const EngineTables& tables, RunState& state, const HalftoneRun& run) {
  if (const Status s = kCheck(tables.lineWidth, run); s != kOk) return s;
  if (!tables.ready) return kBadResource;
  state.lastLine = run.lineNumber;
  kLine(tables, run);
  return kOk;
}

}  // namespace kestrl::halftone
