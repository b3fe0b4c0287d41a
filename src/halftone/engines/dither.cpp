// Ordered dither of a single-channel source: one-bit and two-bit output.
#include <array>
#include <cstdint>

#include "halftone/engine.h"
#include "halftone/kernels/dot_thresholds.h"
#include "halftone/kernels/matrix_row.h"
#include "halftone/kernels/packing.h"
#include "halftone/kernels/source.h"
#include "halftone/line_run.h"

namespace kestrl::halftone {

namespace {

// ---------------------------------------------------------- one-bit dither

// In mode 0 the source is bilevel: above 128 takes the level of 255, else
// the level of 0. A level of 0 never prints (no cell is below 0).
template <int32_t kStep, bool kBilevelSource>
void ditherBilevelLine(const EngineTables& t, const HalftoneRun& run) {
  const MatrixRow row = matrixRowOf(t, run.lineNumber);
  const uint16_t* level = t.levelTable.data();
  const uint32_t darkest = level[255];
  const uint32_t lightest = level[0];
  BitWriter out(run.destination, run.bitOffset);
  uint32_t x = run.startX;
  for (uint32_t i = 0; i < run.pixelCount; ++i, ++x) {
    const uint8_t v = sourceValue<PairRule::kLesser>(run.source, kStep, i);
    const uint32_t l = kBilevelSource ? (v > 128 ? darkest : lightest) : level[v];
    out.put(row.at(x) < l ? 1 : 0);
  }
  out.finish();
}

// ---------------------------------------------------------- two-bit dither

// Remainder by the padded curve's margin without a division per pixel: the
// quotient comes from a rounded-up 32-bit reciprocal, which is exact for
// every 16-bit dividend and divisor.
class SmallModulo {
 public:
  explicit SmallModulo(uint32_t divisor)
      : divisor_(divisor), reciprocal_((uint64_t{1} << 32) / divisor + 1) {}
  uint32_t operator()(uint32_t n) const {
    const auto quotient = static_cast<uint32_t>((n * reciprocal_) >> 32);
    return n - quotient * divisor_;
  }

 private:
  uint32_t divisor_;
  uint64_t reciprocal_;
};

// The tone curve is read at v jittered by the cell 24 columns on (modulo the
// margin 2h); the code counts how many of the level's thresholds the cell is
// below.
template <int32_t kStep>
void ditherFourLevelLine(const EngineTables& t, const HalftoneRun& run) {
  const MatrixRow row = matrixRowOf(t, run.lineNumber);
  const int16_t* curve = t.paddedCurve.data() + 1;
  const SmallModulo jitter(static_cast<uint32_t>(t.paddedCurve[0]));
  const DotThresholds* thresholds = t.dotThresholds.data();
  const uint8_t* source = run.source;
  const uint32_t count = run.pixelCount;
  DotCodeWriter out(run.destination, run.bitOffset);
  uint32_t x = run.startX;
  for (uint32_t i = 0; i < count; ++i, ++x) {
    const uint32_t v = sourceValue<PairRule::kFirstOnly>(source, kStep, i);
    const uint32_t m = row.at(x);
    const DotThresholds th = thresholds[static_cast<uint32_t>(curve[v + jitter(row.at(x + 24))])];
    out.put((m < th.large ? 1u : 0u) + (m < th.largeOrMedium ? 1u : 0u) + (m < th.any ? 1u : 0u));
  }
  out.finish();
}

// The screening checks (reserved10 first) before the line.
template <int32_t kStep, bool kBilevelSource>
constexpr Engine ditherBilevelRun =
    lineRun<checkScreeningRun, ditherBilevelLine<kStep, kBilevelSource>>;

// The padded curve has a margin of at least 1 (its jitter is taken modulo
// the margin).
template <int32_t kStep>
constexpr Engine ditherFourLevelRun = lineRun<checkScreeningRun, ditherFourLevelLine<kStep>>;

template <bool kBilevelSource>
Engine ditherBilevelFor(int32_t sourceStep) {
  if (sourceStep == 1) return ditherBilevelRun<1, kBilevelSource>;
  return sourceStep == -1 ? ditherBilevelRun<-1, kBilevelSource>
                          : ditherBilevelRun<0, kBilevelSource>;
}

}  // namespace

// The thresholds of every level, from the dot table and the level table.
void prepareDitherFourLevel(EngineTables& tables) {
  for (uint32_t l = 0; l < 256; ++l) {
    tables.dotThresholds[l] = thresholdsOf(tables.dotTable.data(), tables.levelTable.data(), l);
  }
}

// Mode 0 reads a bilevel source.
Engine ditherBilevel(const PrintMode& mode) {
  return mode.mode == 0 ? ditherBilevelFor<true>(mode.sourceStep)
                        : ditherBilevelFor<false>(mode.sourceStep);
}

// Step -1 reads one value per pixel here, like step 0.
Engine ditherFourLevel(const PrintMode& mode) {
  return mode.sourceStep == 1 ? ditherFourLevelRun<1> : ditherFourLevelRun<0>;
}

}  // namespace kestrl::halftone
