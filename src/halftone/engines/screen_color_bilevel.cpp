// One-bit colour screening of mode 3: four planes through the colour grid,
// all sharing one matrix cell m per pixel. Planes 3 and 0 stack upward from
// the low end of the cell range (ink 0 after ink 3 while their sum fits the
// matrix), plane 2 grows downward from the top; plane 1 does the same in the
// ordered variant and is error-diffused on one error line in the other.
//
// The top of the cell range is matrixCells - 1 as a 16-bit value (a 256 x 256
// matrix keeps 0 cells, so its top is 65535); in the main loop the cell
// counted from the top, top - m, is a signed difference, in the closing pixel
// of an odd run a 16-bit one.
#include <optional>

#include "halftone/engines/colour_screen_run.h"
#include "halftone/kernels/colour_patterns.h"
#include "halftone/kernels/error_line.h"
#include "halftone/kernels/plane_set.h"
#include "halftone/kernels/spread_kernels.h"

namespace kestrl::halftone {

namespace {

using namespace diffusion;

// Plane 1 of the diffusing variant: its level plus the error that reached
// the cell (the floor of cell / 32) against the nudged threshold; the rest is
// spread by the general colour patterns, whose alternative cells follow bit 2
// of the dither value (clear reads as odd), the row chosen with plane 1's
// limits. A level of 0, like paper white, drops the cell's error and leaves
// the carry in the cell.
class DiffusedPlane1 {
 public:
  DiffusedPlane1(const EngineTables& t, uint32_t startX)
      : plane_(t.errorLines[0].atPixel0() + startX),
        choice_(t.colourDiffusion),
        threshold_(t.diffusionThreshold.data()),
        dotValue_(t.dotValue.data()) {}

  void pass() { plane_.settle(CarryAtCell::kStore); }

  bool place(int32_t level, uint32_t t) {
    if (level == 0) {
      pass();
      return false;
    }
    const int32_t v = plane_.error<CellRead::kShift>() + level;
    const bool dot = threshold_[level] - perturbation(t) <= v;
    const int32_t e = dot ? v - dotValue_[level] : v;
    const Parity parity = (t & 4) == 0 ? Parity::kOdd : Parity::kEven;
    plane_.spread(patternRow(choice_, kPlane1, 0, dot, static_cast<uint32_t>(level)), parity, e);
    return dot;
  }

 private:
  DiffusedPlane<kGeneralColourPatterns> plane_;
  const ColourDiffusionTables& choice_;
  const int16_t* threshold_;
  const int16_t* dotValue_;
};

template <bool kInkSource, bool kDiffused>
void screenColourRun(const EngineTables& t, const HalftoneRun& run) {
  ColourPixels<kInkSource> pixels(t, t.sourceStep, run.source);
  const uint16_t* level = t.levelTable.data();
  const MatrixRows rows(t, run.lineNumber);
  const int32_t top = static_cast<uint16_t>(t.matrixCells - 1);
  ColourPlanes out(run.destination, run.planeStride, run.bitOffset, true);
  // Only the diffusing variant has an error line to walk.
  std::optional<DiffusedPlane1> diffused;
  if constexpr (kDiffused) diffused.emplace(t, run.startX);
  const uint32_t paired = run.pixelCount & ~1u;
  uint32_t x = run.startX;
  for (uint32_t i = 0; i < paired; ++i, ++x, out.advance()) {
    const uint8_t* pixel = pixels.at(i);
    if (pixels.isBlank(pixel)) {
      if constexpr (kDiffused) diffused->pass();
      continue;
    }
    const auto m = static_cast<int32_t>(rows.a(x));
    const uint32_t t = static_cast<uint32_t>(m) & 0xFEu;
    const InkLevels ink = pixels.levels(pixel, t, (t >> 2) & 1, kPlane2Level);
    const int32_t d0 = level[levelOf(ink, 0)], d2 = level[levelOf(ink, 2)];
    const int32_t d3 = level[levelOf(ink, 3)];
    const int32_t fromTop = top - m;
    const bool ink3 = d3 > m;
    out.set(3, ink3);
    out.set(0, d3 + d0 <= top ? !ink3 && d3 + d0 > m : d0 > fromTop);
    out.set(2, d2 > fromTop);
    out.set(1, kDiffused ? diffused->place(levelOf(ink, 1), t)
                         : static_cast<int32_t>(level[levelOf(ink, 1)]) > fromTop);
  }
  if (paired != run.pixelCount) {
    // The pixel's own dither value chooses the nodes and no level is
    // dropped; ink 0 only after ink 3, ink 2 only after ink 1; the error
    // line is left alone.
    const uint32_t m = rows.a(x);
    const InkLevels ink = pixels.closingLevels(pixels.at(paired), m & 0xFEu, false);
    const uint16_t fromTop = static_cast<uint16_t>(t.matrixCells - m - 1);
    out.setAll(closingDots({ink, static_cast<int32_t>(m), fromTop}, level));
  }
  out.flush(paired != run.pixelCount);
}

template <bool kInkSource, bool kDiffused>
Status screenColour(const EngineTables& tables, RunState& state, const HalftoneRun& run) {
  if (const Status s = checkRun(tables.lineWidth, run); s != kOk) return s;
  if (kDiffused && tables.errorLines[0].empty()) return kBadParameter;
  if (!tables.ready) return kBadResource;
  state.lastLine = run.lineNumber;
  screenColourRun<kInkSource, kDiffused>(tables, run);
  return kOk;
}

template <bool kDiffused>
Engine variantFor(const PrintMode& mode) {
  return mode.inkSet == kInkSetFromSource ? screenColour<true, kDiffused>
                                          : screenColour<false, kDiffused>;
}

}  // namespace

// Both variants: a job whose stages did not leave the colour grid (four inks
// per node), the grid index or the matrix tables is refused with
// kBadResource, and the diffusing variant without its error line with
// kBadParameter; nothing is written then. reserved10 is not looked at. The
// error line is never cleared between runs.
Engine screenColorBilevel(const PrintMode& mode) {
  return variantFor<false>(mode);
}

Engine screenColorBilevelDiffused(const PrintMode& mode) {
  return variantFor<true>(mode);
}

}  // namespace kestrl::halftone
