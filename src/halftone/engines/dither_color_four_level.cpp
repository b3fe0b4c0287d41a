// Two-bit colour by ordered dither (mode 3): every dot size of every plane
// is placed against the threshold matrix alone; no error is kept.
//
// Each pixel's grid node is chosen with the low byte of its own matrix cell
// (lowest bit cleared) as dither value; planes 0, 1 and 3 are smoothed
// between neighbouring nodes, plane 2 follows its node directly. The planes
// are placed against cells of two matrix rows at different columns
// (MatrixRows::planeCells). The closing pixel of an odd run takes its node
// at the middle dither value and drops faint levels.
#include "halftone/engines/colour_screen_run.h"

namespace kestrl::halftone {

namespace {

using namespace diffusion;

template <bool kInkSource>
void ditherColourRun(const EngineTables& t, const HalftoneRun& run) {
  ColourPixels<kInkSource> pixels(t, t.sourceStep, run.source);
  const MatrixRows rows(t, run.lineNumber);
  DotCodePlanes out(run);
  const uint32_t paired = run.pixelCount & ~1u;
  uint32_t x = run.startX;
  for (uint32_t i = 0; i < paired; ++i, ++x) {
    const uint8_t* pixel = pixels.at(i);
    if (pixels.isBlank(pixel)) {
      out.put({});
      continue;
    }
    const uint32_t dither = rows.a(x) & 0xFEu;
    out.put(
        orderedCodes(t, pixels.levels(pixel, dither, (dither >> 2) & 1, kPlane2Level), rows, x));
  }
  if (paired != run.pixelCount) {
    const InkLevels levels = pixels.closingLevels(pixels.at(paired), kClosingDither, true);
    out.put(orderedCodes(t, levels, rows, x));
  }
  out.finish();
}

template <bool kInkSource>
Status ditherColour(const EngineTables& tables, RunState& state, const HalftoneRun& run) {
  if (const Status s = checkRun(tables.lineWidth, run); s != kOk) return s;
  if (!tables.ready) return kBadResource;
  state.lastLine = run.lineNumber;
  ditherColourRun<kInkSource>(tables, run);
  return kOk;
}

}  // namespace

// A job whose stages did not leave the colour grid (four inks per node), the
// grid index, the matrix or the dot table is refused with kBadResource,
// nothing written. reserved10 is not looked at.
Engine ditherColorFourLevel(const PrintMode& mode) {
  return mode.inkSet == kInkSetFromSource ? ditherColour<true> : ditherColour<false>;
}

}  // namespace kestrl::halftone
