// Mode 0 colour: each source channel is only asked whether it is above the
// middle; the corner node's four ink levels are screened into four one-bit
// planes. Inks 3 and 0 share the matrix cell m, inks 1 and 2 use the cell
// turned upside down (N - m), so that inks sharing a cell are spread apart.
#include <array>
#include <cstdint>

#include "halftone/engine.h"
#include "halftone/packing.h"
#include "halftone/screen_tables.h"

namespace kestrl::halftone {

namespace {

constexpr uint32_t kInks = 4;
constexpr uint32_t kCorners = 8;
constexpr uint32_t kWhiteCorner = 7;  // every channel above the middle
constexpr uint32_t kCornerGridBytes = kCorners * kInks;

// Node index 4 c1 + 2 c2 + c3 of a source pixel's three channel bits.
inline uint32_t cornerOf(const uint8_t* pixel) {
  return (pixel[0] > 128 ? 4u : 0u) | (pixel[1] > 128 ? 2u : 0u) | (pixel[2] > 128 ? 1u : 0u);
}

using CornerLevels = std::array<std::array<int32_t, kInks>, kCorners>;

class CornerScreen {
 public:
  CornerScreen(const HalftoneContext& c, const HalftoneRun& run)
      : row_(c, run.lineNumber), last_(static_cast<int32_t>(c.matrixCells) - 1) {
    const uint8_t* grid = c.colorGrid();
    const uint16_t* level = c.levelTable();
    for (uint32_t node = 0; node < kCorners; ++node) {
      for (uint32_t k = 0; k < kInks; ++k) levels_[node][k] = level[grid[kInks * node + k]];
    }
    for (uint32_t k = 0; k < kInks; ++k) {
      planes_[k] = BitWriter(run.destination + k * run.planeStride, run.bitOffset);
    }
  }

  // A pixel of the paired part of the run.
  void pairedPixel(uint32_t corner, uint32_t x) {
    if (corner == kWhiteCorner) {
      putAll(false, false, false, false);
      return;
    }
    const std::array<int32_t, kInks>& a = levels_[corner];
    const auto m = static_cast<int32_t>(row_.at(x));
    const int32_t flipped = last_ - m;
    const bool ink3 = m < a[3];
    const bool ink0 = a[3] + a[0] <= last_ ? !ink3 && m < a[3] + a[0] : a[0] > flipped;
    putAll(ink0, a[1] > flipped, a[2] > flipped, ink3);
  }

  // The last pixel of an odd run: no white test, and inks 1 and 2 share the
  // flipped cell the way inks 3 and 0 share the cell.
  void lastPixel(uint32_t corner, uint32_t x) {
    const std::array<int32_t, kInks>& a = levels_[corner];
    const auto m = static_cast<int32_t>(row_.at(x));
    const int32_t flipped = last_ - m;
    const bool ink3 = m < a[3];
    const bool ink1 = a[1] > flipped;
    putAll(!ink3 && a[0] + a[3] > m, ink1, !ink1 && a[1] + a[2] > flipped, ink3);
  }

  void finish() {
    for (BitWriter& plane : planes_) plane.finish();
  }

 private:
  void putAll(bool ink0, bool ink1, bool ink2, bool ink3) {
    planes_[0].put(ink0 ? 1 : 0);
    planes_[1].put(ink1 ? 1 : 0);
    planes_[2].put(ink2 ? 1 : 0);
    planes_[3].put(ink3 ? 1 : 0);
  }

  MatrixRow row_;
  int32_t last_;  // N = matrixCells - 1
  CornerLevels levels_{};
  std::array<BitWriter, kInks> planes_;
};

// Pairs of pixels: step 1 reads one source pixel for both, any other step
// one source pixel each. An odd run ends with one pixel of its own.
template <bool kOnePixelPerPair>
void screenCorners(CornerScreen& screen, const HalftoneRun& run) {
  constexpr uint32_t kPairBytes = kOnePixelPerPair ? 3 : 6;
  const uint8_t* source = run.source;
  uint32_t x = run.startX;
  for (uint32_t i = 1; i < run.pixelCount; i += 2, x += 2, source += kPairBytes) {
    const uint32_t first = cornerOf(source);
    screen.pairedPixel(first, x);
    screen.pairedPixel(kOnePixelPerPair ? first : cornerOf(source + 3), x + 1);
  }
  if (run.pixelCount % 2 != 0) screen.lastPixel(cornerOf(source), x);
  screen.finish();
}

bool hasCornerTables(const HalftoneContext& c) {
  const MemoryBlock& grid = c.blocks[kCurveOrGridBlock];
  return hasMatrixTables(c) && grid.data != nullptr && grid.size >= kCornerGridBytes;
}

}  // namespace

// reserved10 is not looked at. A context without the corner grid of stage 2
// or the matrix tables of stage 3 is refused with kBadResource.
Status screenColorCorners(HalftoneContext& context, const HalftoneRun& run) {
  if (Status s = checkRun(context, run); s != kOk) return s;
  if (!hasCornerTables(context)) return kBadResource;
  context.lastLine = run.lineNumber;
  CornerScreen screen(context, run);
  if (context.printMode.sourceStep == 1) {
    screenCorners<true>(screen, run);
  } else {
    screenCorners<false>(screen, run);
  }
  return kOk;
}

}  // namespace kestrl::halftone
