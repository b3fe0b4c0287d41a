// Linearising the halftone side: how much ink an engine really puts down
// for each value a colour table asks for, measured on flat patches through
// the library itself, and the inverse curves that make the mean ink follow
// the table.
#pragma once

#include <array>
#include <cstdint>

#include "pack/colour_blocks.h"
#include "pack/pack_io.h"

namespace kestrl::pack {

// For each table value t, the value to store instead so that the engine's
// mean ink coverage on a flat patch is t / 255 of full ink.
using InkCurve = std::array<uint8_t, 256>;

// The job whose engines are measured.
struct MeasuredJob {
  uint32_t mode = 1, bits = 1, xResolution = 720, yResolution = 720;
};

// Channel c of the table holding value v, every other channel 0: the mean
// coverage per pixel in thirds of full ink (a one-bit dot counts 3, a
// two-bit dot its size code 1 to 3), for each of the measured values.
struct InkResponse {
  static constexpr uint32_t kSteps = 33;  // values 0, 8, ..., 248, 255
  static uint8_t value(uint32_t step) { return static_cast<uint8_t>(step < 32 ? 8 * step : 255); }
  std::array<uint64_t, kSteps> thirds{};
  uint64_t pixels = 0;  // pixels counted per step
};

// Measures colour input (channels C, M, Y, K) or grey input (the single
// black channel) through `pack`, which supplies the directory and the
// halftone resources; the colour table under `tableId` is replaced by a
// measuring table with the header of `frame` (kind, ink gain, extra
// section). Throws std::runtime_error when the library refuses the job.
std::array<InkResponse, 4> measureColourResponse(Pack pack, int32_t tableId,
                                                 const ColourTable& frame, const MeasuredJob& job);
InkResponse measureGreyResponse(Pack pack, int32_t tableId, const ColourTable& frame,
                                const MeasuredJob& job);

// The inverse of a measured response, in integer arithmetic so that every
// platform makes the same bytes: for each target the interpolated value
// whose coverage meets it. The curve starts at 0 and never falls.
InkCurve inverseCurve(const InkResponse& response);

}  // namespace kestrl::pack
