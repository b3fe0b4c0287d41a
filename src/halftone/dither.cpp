// Ordered dither of a single-channel source: one-bit and two-bit output.
#include <array>
#include <cstdint>

#include "halftone/engine.h"
#include "halftone/packing.h"
#include "halftone/screen_tables.h"
#include "halftone/source.h"

namespace kestrl::halftone {

namespace {

// Calls body.template operator()<step>() with the source step as a constant,
// so that the inner loops carry no per-pixel test of it.
template <typename Body>
void withSourceStep(int32_t sourceStep, Body&& body) {
  if (sourceStep == 1) {
    body.template operator()<1>();
  } else if (sourceStep == -1) {
    body.template operator()<-1>();
  } else {
    body.template operator()<0>();
  }
}

// ---------------------------------------------------------- one-bit dither

// In mode 0 the source is bilevel: above 128 takes the level of 255, else
// the level of 0. A level of 0 never prints (no cell is below 0).
template <int32_t kStep, bool kBilevelSource>
void ditherBilevelLine(const HalftoneContext& c, const HalftoneRun& run) {
  const MatrixRow row(c, run.lineNumber);
  const uint16_t* level = c.levelTable();
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

// A level's dot shares, through the level table, as three nested
// thresholds: large below the first, medium below the second, small below
// the third (the shares are never negative, so they nest).
struct DotThresholds {
  uint32_t large, largeOrMedium, any;
};

// All 256 levels at once, for runs long enough to repay it.
using ThresholdTable = std::array<DotThresholds, 256>;

inline DotThresholds thresholdsOf(const uint8_t* dotTable, const uint16_t* level, uint32_t l) {
  const uint8_t* shares = dotTable + 3 * l;
  const uint32_t large = level[shares[2]];
  const uint32_t largeOrMedium = large + level[shares[1]];
  return {large, largeOrMedium, largeOrMedium + level[shares[0]]};
}

// The tone curve is read at v jittered by the cell 24 columns on (modulo the
// margin 2h); the code counts how many of the level's thresholds the cell is
// below.
template <int32_t kStep, typename Thresholds>
void ditherFourLevelLine(const HalftoneContext& c, const HalftoneRun& run, Thresholds thresholds) {
  const MatrixRow row(c, run.lineNumber);
  const int16_t* curve = c.paddedCurve() + 1;
  const SmallModulo jitter(static_cast<uint32_t>(c.paddedCurve()[0]));
  DotCodeWriter out(run.destination, run.bitOffset);
  uint32_t x = run.startX;
  for (uint32_t i = 0; i < run.pixelCount; ++i, ++x) {
    const uint32_t v = sourceValue<PairRule::kFirstOnly>(run.source, kStep, i);
    const uint32_t m = row.at(x);
    const DotThresholds t = thresholds(static_cast<uint32_t>(curve[v + jitter(row.at(x + 24))]));
    out.put((m < t.large ? 1u : 0u) + (m < t.largeOrMedium ? 1u : 0u) + (m < t.any ? 1u : 0u));
  }
  out.finish();
}

// Runs of at least this many pixels look the thresholds up in a table built
// for the call; shorter ones compute them per pixel.
constexpr uint32_t kThresholdTableRun = 512;

template <int32_t kStep>
void ditherFourLevelRun(const HalftoneContext& c, const HalftoneRun& run) {
  const uint8_t* dotTable = c.dotTable();
  const uint16_t* level = c.levelTable();
  if (run.pixelCount < kThresholdTableRun) {
    ditherFourLevelLine<kStep>(c, run,
                               [=](uint32_t l) { return thresholdsOf(dotTable, level, l); });
    return;
  }
  ThresholdTable table;
  for (uint32_t l = 0; l < 256; ++l) table[l] = thresholdsOf(dotTable, level, l);
  ditherFourLevelLine<kStep>(c, run, [&](uint32_t l) { return table[l]; });
}

// The two-bit dither also needs the padded curve of stage 2 and the dot table
// of stage 4; a context whose stages did not all succeed is refused.
bool hasFourLevelTables(const HalftoneContext& c) {
  const MemoryBlock& curve = c.blocks[kCurveOrGridBlock];
  return hasMatrixTables(c) && curve.data != nullptr && c.paddedCurve()[0] > 0 &&
         c.blocks[kDotTableBlock].data != nullptr;
}

}  // namespace

// A context without its stage-3 tables (a stage failed or was not run) is
// refused with kBadResource, nothing written.
Status ditherBilevel(HalftoneContext& context, const HalftoneRun& run) {
  if (Status s = checkScreeningRun(context, run); s != kOk) return s;
  if (!hasMatrixTables(context)) return kBadResource;
  context.lastLine = run.lineNumber;
  const bool bilevelSource = context.printMode.mode == 0;
  withSourceStep(context.printMode.sourceStep, [&]<int32_t kStep>() {
    if (bilevelSource) {
      ditherBilevelLine<kStep, true>(context, run);
    } else {
      ditherBilevelLine<kStep, false>(context, run);
    }
  });
  return kOk;
}

// Step -1 reads one value per pixel here, like step 0.
Status ditherFourLevel(HalftoneContext& context, const HalftoneRun& run) {
  if (Status s = checkScreeningRun(context, run); s != kOk) return s;
  if (!hasFourLevelTables(context)) return kBadResource;
  context.lastLine = run.lineNumber;
  withSourceStep(context.printMode.sourceStep,
                 [&]<int32_t kStep>() { ditherFourLevelRun<kStep>(context, run); });
  return kOk;
}

}  // namespace kestrl::halftone
