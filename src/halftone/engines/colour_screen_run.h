// What the four-level colour engines and the mode-3 colour screening engines
// share: the run's source pixels and their grid levels, the two matrix rows
// and the two-bit output planes.
#pragma once

#include <array>
#include <cstdint>

#include "halftone/engine.h"
#include "halftone/kernels/colour_diffusion.h"
#include "halftone/kernels/packing.h"

namespace kestrl::halftone::diffusion {

// Source pixels and their grid levels for one run. An RGB pixel takes the
// grid node chosen at a dither value; with inkSet 4 the source carries the
// four levels itself (four bytes per pixel, stepped like RGB pixels, blank
// when all four are 0) and no node is chosen or smoothed.
template <bool kInkSource>
class ColourPixels {
 public:
  ColourPixels(const EngineTables& t, int32_t sourceStep, const uint8_t* source)
      : source_(source),
        stepping_(sourceStep, kInkSource ? kInkPixelBytes : kRgbPixelBytes),
        axis_(t.colourDiffusion.axis),
        grid_(t.colorGrid.data()) {}

  const uint8_t* at(uint32_t i) const { return source_ + stepping_.offsetOf(i); }
  static bool isBlank(const uint8_t* pixel) {
    return kInkSource ? isBlankInk(pixel) : isWhite(pixel);
  }

  // The levels of a non-blank main-loop pixel at dither value t, smoothed
  // with the previous pixel's (rounding up when parity is 0); the planes
  // whose bytes are set in keepRaw keep the node's level.
  InkLevels levels(const uint8_t* pixel, uint32_t t, uint32_t parity, InkLevels keepRaw = 0) {
    if constexpr (kInkSource) {
      return loadLevels(pixel);
    } else {
      const uint32_t r = ditheredNode(axis_, pixel[0], t);
      const uint32_t g = ditheredNode(axis_, pixel[1], t);
      const uint32_t b = ditheredNode(axis_, pixel[2], t);
      const InkLevels raw = loadLevels(grid_ + gridNodeOffset(r, g, b));
      return (smoothing_.apply(r, g, b, raw, parity) & ~keepRaw) | (raw & keepRaw);
    }
  }

  // The levels of the closing pixel of an odd run at dither value t, not
  // smoothed; with dropFaint, levels below 32 are taken as 0.
  InkLevels closingLevels(const uint8_t* pixel, uint32_t t, bool dropFaint) const {
    if constexpr (kInkSource) {
      return loadLevels(pixel);
    } else {
      const std::array<uint8_t, kInksPerNode> levels = closingNodeLevels(
          axis_.node.data(), axis_.lowerWeight.data(), grid_, pixel, t, dropFaint);
      return loadLevels(levels.data());
    }
  }

 private:
  const uint8_t* source_;
  SourceStepping stepping_;
  const GridAxis& axis_;
  const uint8_t* grid_;
  NeighbourSmoothing smoothing_;
};

// Plane 2's byte in the packed levels.
inline constexpr InkLevels kPlane2Level = 0xFFu << 16;

// Two rows of the threshold matrix: row A of the line and row B 24 lines on
// (line numbers wrap at 32 bits); columns are absolute positions masked by
// the matrix width, so runs of a line join seamlessly.
class MatrixRows {
 public:
  MatrixRows(const EngineTables& t, uint32_t lineNumber)
      : a_(rowOf(t, lineNumber)), b_(rowOf(t, lineNumber + 24)), mask_(t.matrixWidth - 1) {}

  uint32_t a(uint32_t k) const { return a_[k & mask_]; }

  // The cells the four planes of the two-bit engines are placed against at
  // pixel x, so that planes sharing a pixel meet different cells.
  std::array<uint32_t, kInksPerNode> planeCells(uint32_t x) const {
    return {a_[x & mask_], b_[(x + 16) & mask_], a_[(x + 48) & mask_], b_[(x + 40) & mask_]};
  }

 private:
  static const uint16_t* rowOf(const EngineTables& t, uint32_t line) {
    return t.thresholdMatrix.data() + (line % t.matrixHeight) * t.matrixWidth;
  }
  const uint16_t* a_;
  const uint16_t* b_;
  uint32_t mask_;
};

// The code a level places by the matrix alone against cell th: large below
// the first of its nested thresholds, medium below the second, small below
// the third.
inline uint32_t orderedCode(const DotThresholds& d, uint32_t th) {
  return (d.large > th ? 1u : 0u) + (d.largeOrMedium > th ? 1u : 0u) + (d.any > th ? 1u : 0u);
}

inline std::array<uint32_t, kInksPerNode> orderedCodes(const EngineTables& t, InkLevels levels,
                                                       const MatrixRows& rows, uint32_t x) {
  const std::array<uint32_t, kInksPerNode> th = rows.planeCells(x);
  std::array<uint32_t, kInksPerNode> codes;
  for (uint32_t k = 0; k < kInksPerNode; ++k)
    codes[k] = orderedCode(t.dotThresholds[levelOf(levels, k)], th[k]);
  return codes;
}

// The four two-bit planes of a run, plane k at destination + k x planeStride,
// packed side by side: byte k of one 32-bit accumulator gathers plane k's
// codes, shifted in from the low end. A byte is stored when its four pixels
// are in (none of its bits can reach the next byte before that); the bits
// before bitOffset in each plane's first byte are kept, and a partly filled
// last byte is stored with its remaining low bits 0.
class DotCodePlanes {
 public:
  explicit DotCodePlanes(const HalftoneRun& run)
      : out_(run.destination), stride_(run.planeStride), filled_(run.bitOffset) {
    for (uint32_t k = 0; k < kInksPerNode && filled_ != 0; ++k)
      bytes_ |= uint32_t{out_[k * stride_]} >> (8 - 2 * filled_) << (8 * k);
  }
  void put(const std::array<uint32_t, kInksPerNode>& codes) {
    bytes_ = bytes_ << 2 | codes[0] | codes[1] << 8 | codes[2] << 16 | codes[3] << 24;
    if (++filled_ == kPixelsPerByte) {
      store();
      ++out_;
      bytes_ = 0;
      filled_ = 0;
    }
  }
  void finish() {
    if (filled_ == 0) return;
    bytes_ <<= 2 * (kPixelsPerByte - filled_);
    store();
  }

 private:
  static constexpr uint32_t kPixelsPerByte = DotCodeWriter::kPixelsPerByte;
  void store() {
    for (uint32_t k = 0; k < kInksPerNode; ++k)
      out_[k * stride_] = static_cast<uint8_t>(bytes_ >> (8 * k));
  }
  uint8_t* out_;
  uint32_t stride_;
  uint32_t filled_;
  uint32_t bytes_ = 0;
};

}  // namespace kestrl::halftone::diffusion
