// `kestrl proof-check`: the colour-accuracy report. Prints the target (a
// ColorChecker, a neutral ramp, ramps of the primaries and secondaries)
// through every default job kind and reports CIEDE2000 per job kind against
// the profile's continuous-tone proof and against the input; writes every
// patch's figures (proof-check.csv) and a contact sheet (contact-sheet.png).
#pragma once

#include <iosfwd>
#include <string>

#include "kestrl/colour_choice.h"
#include "pack/pack_io.h"

namespace kestrl::tool {

// Returns an ExitCode; kExitOk also when a job kind misses the aim (the
// report says so).
int proofCheck(const pack::Pack& pack, const Printer& printer, const std::string& outDir,
               std::ostream& out, std::ostream& err);

}  // namespace kestrl::tool
