// Mode 0 colour: each source channel is only asked whether it is above the
// middle; the corner node's four ink levels are screened into four one-bit
// planes. Inks 3 and 0 share the matrix cell m, inks 1 and 2 use the cell
// turned upside down (N - m), so that inks sharing a cell are spread apart.
#include <array>
#include <cstdint>

#include "halftone/engine.h"
#include "halftone/kernels/cell_range.h"
#include "halftone/kernels/matrix_row.h"
#include "halftone/kernels/packing.h"
#include "halftone/line_run.h"

namespace kestrl::halftone {

namespace {

constexpr uint32_t kInks = kCornerInks;
constexpr uint32_t kWhiteCorner = 7;  // every channel above the middle

// Node index 4 c1 + 2 c2 + c3 of a source pixel's three channel bits.
inline uint32_t cornerOf(const uint8_t* pixel) {
  return (pixel[0] > 128 ? 4u : 0u) | (pixel[1] > 128 ? 2u : 0u) | (pixel[2] > 128 ? 1u : 0u);
}

// Every rule of this engine asks whether the cell m lies in a range that
// depends only on the corner: m < a3 is [0, a3); a > N - m is [N - a + 1,
// open); "ink 0 unless ink 3" below a3 + a0 is [a3, a3 + a0). The ranges of
// the eight corners are worked out once per context, so each pixel makes four
// comparisons and no decisions.

// A pixel of the paired part of the run. Inks 3 and 0 share the cell: when
// their levels fit the matrix together, ink 0 takes the cells after ink 3's;
// otherwise ink 0 takes the cells counted from the top, overlapping ink 3.
// Inks 1 and 2 each take the cells counted from the top. The white corner
// prints nothing.
InkRanges pairedRanges(const std::array<int32_t, kInks>& a, int32_t n) {
  const CellRange ink3(0, a[3]);
  const CellRange ink0 =
      a[3] + a[0] <= n ? CellRange(a[3], a[3] + a[0]) : CellRange(n - a[0] + 1, CellRange::kOpen);
  return {ink0, CellRange(n - a[1] + 1, CellRange::kOpen),
          CellRange(n - a[2] + 1, CellRange::kOpen), ink3};
}

// The last pixel of an odd run: ink 0 always after ink 3, and ink 2 in the
// same way after ink 1 among the cells counted from the top.
InkRanges lastRanges(const std::array<int32_t, kInks>& a, int32_t n) {
  return {CellRange(a[3], a[3] + a[0]), CellRange(n - a[1] + 1, CellRange::kOpen),
          CellRange(n - a[1] - a[2] + 1, n - a[1] + 1), CellRange(0, a[3])};
}

// The four output planes, packed side by side.
struct FourPlanes {
  explicit FourPlanes(const HalftoneRun& run)
      : ink0(run.destination, run.bitOffset),
        ink1(run.destination + run.planeStride, run.bitOffset),
        ink2(run.destination + 2 * run.planeStride, run.bitOffset),
        ink3(run.destination + 3 * run.planeStride, run.bitOffset) {}

  void put(const InkRanges& ranges, uint32_t m) {
    ink0.put(ranges[0].holds(m));
    ink1.put(ranges[1].holds(m));
    ink2.put(ranges[2].holds(m));
    ink3.put(ranges[3].holds(m));
  }
  void finish() {
    ink0.finish();
    ink1.finish();
    ink2.finish();
    ink3.finish();
  }

  BitWriter ink0, ink1, ink2, ink3;
};

// Pairs of pixels: step 1 reads one source pixel for both, any other step
// one source pixel each. An odd run ends with one pixel of its own.
template <bool kOnePixelPerPair>
void screenCorners(const EngineTables& tables, const HalftoneRun& run) {
  constexpr uint32_t kPairBytes = kOnePixelPerPair ? 3 : 6;
  const CornerRanges& paired = tables.pairedCornerRanges;
  const MatrixRow row = matrixRowOf(tables, run.lineNumber);
  FourPlanes planes(run);
  const uint8_t* source = run.source;
  uint32_t x = run.startX;
  for (uint32_t i = 1; i < run.pixelCount; i += 2, x += 2, source += kPairBytes) {
    const uint32_t first = cornerOf(source);
    planes.put(paired[first], row.at(x));
    planes.put(paired[kOnePixelPerPair ? first : cornerOf(source + 3)], row.at(x + 1));
  }
  if (run.pixelCount % 2 != 0) {
    planes.put(tables.lastCornerRanges[cornerOf(source)], row.at(x));
  }
  planes.finish();
}

// reserved10 is not looked at.
template <bool kOnePixelPerPair>
constexpr Engine screenCornersRun = lineRun<checkRun, screenCorners<kOnePixelPerPair>>;

}  // namespace

// The ranges of every corner for the paired pixels and for the last one.
void prepareScreenColorCorners(EngineTables& tables) {
  const int32_t n = static_cast<int32_t>(tables.matrixCells) - 1;
  const uint8_t* grid = tables.colorGrid.data();
  const uint16_t* level = tables.levelTable.data();
  for (uint32_t node = 0; node < kCorners; ++node) {
    std::array<int32_t, kInks> a;
    for (uint32_t k = 0; k < kInks; ++k) a[k] = level[grid[kInks * node + k]];
    tables.pairedCornerRanges[node] = node == kWhiteCorner ? InkRanges{} : pairedRanges(a, n);
    tables.lastCornerRanges[node] = lastRanges(a, n);
  }
}

// Step 1 reads one source pixel for both pixels of a pair.
Engine screenColorCorners(const PrintMode& mode) {
  return mode.sourceStep == 1 ? screenCornersRun<true> : screenCornersRun<false>;
}

}  // namespace kestrl::halftone
