// Colour accuracy of a pack on a printer: a target of colour patches printed
// through a job, each patch's mean ink read back from the planes and seen
// through the printer profile, against the profile's continuous-tone proof of
// the same input and against the input itself, in CIEDE2000.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "colour/printer_model.h"
#include "pack/pack_io.h"

namespace kestrl::colour {

struct Patch {
  enum Group { kChecker, kNeutral, kRamp };
  std::string name;
  std::array<uint8_t, 3> rgb;
  Group group;
};

// The 24 patches of a ColorChecker (their published sRGB values), a
// 17-step neutral ramp from white to black, and ramps from white to each
// primary and secondary colour.
const std::vector<Patch>& targetPatches();

struct JobKind {
  std::string name;
  uint32_t mode, bits, xResolution, yResolution;
  bool colour;
};

// Colour one-bit and two-bit in modes 1 and 3 at 1440 x 720 dpi; grey
// one-bit and two-bit in mode 1 at 720 x 720.
const std::vector<JobKind>& defaultJobKinds();

struct PatchResult {
  Inks inks{};     // mean ink the job put down
  Lab input;       // the input (for grey jobs the grey fed)
  Lab continuous;  // the profile's continuous-tone proof of the input
  Lab print;       // the printed patch
  double deltaContinuous = 0, deltaInput = 0;
};

struct KindResult {
  JobKind kind;
  std::vector<PatchResult> patches;  // in targetPatches() order
  double meanContinuous = 0, maxContinuous = 0, meanInput = 0, maxInput = 0;
  double neutralChroma = 0;     // largest |a*| or |b*| of the printed neutral ramp
  bool lightnessFalls = false;  // strictly along the ramp, white to black
  // The aim: mean at most 1, no patch above 3, neutral within 1.5, L* falling.
  bool meetsAim() const;
};

// Prints the target through the job kind with `pack` (the library looks the
// tables up as for any job). Throws std::runtime_error when the library
// refuses the job.
KindResult measureKind(const pack::Pack& pack, const PrinterModel& model, const JobKind& kind);

// The grey a grey job is fed for an RGB colour (luminance weights).
uint8_t greyOf(const std::array<uint8_t, 3>& rgb);

}  // namespace kestrl::colour
