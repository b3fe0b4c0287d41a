// The machinery shared by the colour error-diffusion engines.
//
// Each routine below is one rule of colour diffusion, named after it:
//   upkeepErrorLines       clears error cells that no run will consume
//   isWhite / isBlankInk   the white test (such pixels take no ink)
//   SourceStepping         where a run's pixels are read from the source
//   ditheredNode           the grid node below or above a source value
//   NeighbourSmoothing     averaging with the previous pixel's levels
//   ActivityRegister       whether a plane has had ink lately
//   closingDots            the ink split of the last pixel of an odd run
//
// Error lines hold signed 16-bit cells in 32nds of a level, one per pixel,
// addressed here by a pointer to the cell of pixel 0 (margins lie at
// negative indices and past the line's end).
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "halftone/kernels/colour_tables.h"
#include "halftone/kernels/run.h"

namespace kestrl::halftone::diffusion {

// ---- colour grid and pixels

inline constexpr uint32_t kGridPointsPerAxis = 32;  // colorGrid: 32 x 32 x 32 nodes
inline constexpr uint32_t kInksPerNode = 4;         // byte k of a node: level of plane k
inline constexpr uint32_t kColourGridBytes =
    kGridPointsPerAxis * kGridPointsPerAxis * kGridPointsPerAxis * kInksPerNode;
inline constexpr uint32_t kRgbPixelBytes = 3;
inline constexpr uint32_t kInkPixelBytes = 4;  // inkSet 4: four ink levels per pixel
inline constexpr uint32_t kWhiteSum = 3 * 255;

// The four levels of a pixel in one word, plane k in bits 8k to 8k + 7.
using InkLevels = uint32_t;

inline uint32_t levelOf(InkLevels levels, uint32_t plane) {
  return (levels >> (8 * plane)) & 0xFF;
}

inline InkLevels loadLevels(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
         uint32_t{bytes[3]} << 24;
}

// Byte offset of grid node (r, g, b) in colorGrid.
inline uint32_t gridNodeOffset(uint32_t r, uint32_t g, uint32_t b) {
  return ((r * kGridPointsPerAxis + g) * kGridPointsPerAxis + b) * kInksPerNode;
}

// ---- error-line upkeep

// Cells from .. to - 1 of every error line; empty when from >= to.
struct CellInterval {
  uint32_t from = 0;
  uint32_t to = 0;
  bool operator==(const CellInterval&) const = default;
};

// The cells to clear before a run, from the previous call's line and run end
// (a run end equal to the line width counts as 0). Line arithmetic is
// unsigned and wraps, so line -1 is followed by line 0. The first rule that
// matches applies:
//   1. lines were skipped (previous + 1 < this): the whole line;
//   2. the next line is a sixteenth line (low four bits 15) and the run does
//      not start at 0: cells 0 .. startX - 1;
//   3. another run of the same sixteenth line starts after the previous
//      one's end: the gap between them;
//   4. the next line is a first line of sixteen (low four bits 0) and the
//      previous run ended inside its line: that line's tail.
// A line number below the previous (a new page) clears nothing.
CellInterval errorCellsToClear(uint32_t previousLine, uint32_t previousRunEnd, uint32_t lineNumber,
                               uint32_t startX, uint32_t lineWidth);

// Stores lineNumber and the run's end as the last line and run end, then
// clears errorCellsToClear in every given line (margins never).
void upkeepErrorLines(std::span<int16_t* const> lines, RunState& state, uint32_t lineWidth,
                      uint32_t lineNumber, uint32_t pixelCount, uint32_t startX);

// ---- white test

// An RGB pixel is white when R + G + B = 765: it takes no ink at all.
inline bool isWhite(const uint8_t* rgb) {
  return uint32_t{rgb[0]} + uint32_t{rgb[1]} + uint32_t{rgb[2]} == kWhiteSum;
}

// A four-ink pixel is blank when all four levels are 0: the same paper white.
inline bool isBlankInk(const uint8_t* inks) {
  return loadLevels(inks) == 0;
}

// ---- source stepping

// Where the pixels of a run are read. The main loops work on pairs of output
// pixels counted from the run's start: with sourceStep 1 both pixels of a pair
// read the same source pixel and the pair moves on by one source pixel; with
// any other step (0 or -1) each pixel reads its own and the pair moves on by
// two. Pixel i of a run therefore reads source pixel i / 2 or i, as a per-pixel
// stepping of 0, 1, 0, 1 (or 1, 1, ...) source pixels would.
struct SourceStepping {
  SourceStepping(int32_t sourceStep, uint32_t pixelBytes)
      : secondOfPair(sourceStep == 1 ? 0 : pixelBytes),
        pairBytes(sourceStep == 1 ? pixelBytes : 2 * pixelBytes) {}

  // Bytes from the first pixel of a pair to the second, and from pair to pair.
  uint32_t secondOfPair;
  uint32_t pairBytes;

  // Byte offset of run pixel i (i even: the first of its pair).
  uint32_t offsetOf(uint32_t i) const { return (i / 2) * pairBytes + (i % 2) * secondOfPair; }
};

// ---- dithered grid-node choice

// Splits the context's gridIndex (pairs of node, weight) into columns.
void splitGridIndex(const uint8_t* gridIndex, GridAxis& axis);

// The node a value takes at dither value t: the one above when the lower
// node's weight is at most t, so that over the matrix the two nodes are
// taken in proportion to the value's position between them.
inline uint32_t ditheredNode(const uint8_t* nodeColumn, const uint8_t* weightColumn, uint8_t value,
                             uint32_t t) {
  return nodeColumn[value] + (weightColumn[value] <= t ? 1u : 0u);
}
inline uint32_t ditheredNode(const GridAxis& axis, uint8_t value, uint32_t t) {
  return ditheredNode(axis.node.data(), axis.lowerWeight.data(), value, t);
}

// ---- the closing pixel of a run

// The closing pixel of an odd run takes the grid node that its components
// choose at one dither value, unsmoothed; the diffusion engines use 128 and
// take its levels below 32 as 0.
inline constexpr uint32_t kClosingDither = 128;
inline constexpr uint8_t kFaintestClosingLevel = 32;

// The four levels of the node that the RGB pixel chooses at dither value t,
// those below kFaintestClosingLevel taken as 0 when dropFaint.
std::array<uint8_t, kInksPerNode> closingNodeLevels(const uint8_t* nodeColumn,
                                                    const uint8_t* weightColumn,
                                                    const uint8_t* colorGrid, const uint8_t* rgb,
                                                    uint32_t t, bool dropFaint);

// ---- neighbour smoothing

// Averages a pixel's levels with the previous pixel's when the two took
// neighbouring grid nodes (each index within one of the previous), rounding
// up on an even matrix value and down on an odd one. The first pixel of a
// call is never averaged: the node memory starts at -2.
class NeighbourSmoothing {
 public:
  InkLevels apply(uint32_t r, uint32_t g, uint32_t b, InkLevels levels, uint32_t parity) {
    if (r - node_[0] + 1 <= 2 && g - node_[1] + 1 <= 2 && b - node_[2] + 1 <= 2) {
      levels = average(previous_, levels, parity);
    }
    node_ = {r, g, b};
    previous_ = levels;
    return levels;
  }

  // (a + b + 1 - parity) >> 1 in each of the four bytes.
  static InkLevels average(InkLevels a, InkLevels b, uint32_t parity) {
    const uint32_t half = ((a ^ b) >> 1) & 0x7F7F7F7Fu;
    return parity != 0 ? (a & b) + half : (a | b) - half;
  }

 private:
  static constexpr uint32_t kNoNode = static_cast<uint32_t>(-2);
  static constexpr InkLevels kStartLevels = 0x64646464u;  // 100 in each plane
  std::array<uint32_t, 3> node_ = {kNoNode, kNoNode, kNoNode};
  InkLevels previous_ = kStartLevels;
};

// ---- activity register

// Five bits of a plane's recent history: shifted right at each non-white
// pixel, with bit 4 set when the pixel has ink in the plane. A plane whose
// register is 0 has had no ink at this pixel nor at the four non-white pixels
// before it, and is idle: it places no dots and spreads nothing. The start
// value counts the pixels before the run as inked.
class ActivityRegister {
 public:
  // Records a level; true while the plane is active.
  bool record(uint32_t level) {
    bits_ = (bits_ >> 1) | (level != 0 ? kInked : 0u);
    return bits_ != 0;
  }

 private:
  static constexpr uint32_t kInked = 16;
  uint32_t bits_ = 31;
};

// ---- last pixel of an odd run

// The last pixel of an odd one-bit run, placed against its matrix cell
// alone: no error line, no carry. fromTop is the cell counted from the top
// of the cell range, as the engine counts it.
struct ClosingPixel {
  InkLevels levels;
  int32_t cell;
  int32_t fromTop;
};

// With L = levelTable of each level: plane 3 takes a dot when L3 > cell, else
// plane 0 when L0 + L3 > cell; plane 1 when L1 > fromTop, else plane 2 when
// L1 + L2 > fromTop. So planes 3 and 0, and planes 1 and 2, never both print.
// Plane k's dot is bit k of the result.
uint32_t closingDots(const ClosingPixel& pixel, const uint16_t* levelTable);

// ---- four one-bit planes

// Plane k of a run starts at destination + k x planeStride. Pixels are
// gathered under a moving bit mask into one accumulator per plane; the four
// bytes are stored together (plane 3, 0, 1, 2) whenever the mask runs out and
// once more at the end if a byte is partly filled. The first byte keeps the
// bits before bitOffset. Without plane 3 (three-plane output) its bits go to
// a scratch byte that is never stored, and its destination is not touched.
class ColourPlanes {
 public:
  ColourPlanes(uint8_t* destination, uint32_t planeStride, uint32_t bitOffset, bool withPlane3);
  ColourPlanes(const ColourPlanes&) = delete;
  ColourPlanes& operator=(const ColourPlanes&) = delete;

  void set(uint32_t plane, bool dot) { accumulator[plane] |= mask & (0u - dot); }
  // Plane k takes bit k of dots.
  void setAll(uint32_t dots) {
    for (uint32_t plane = 0; plane < 4; ++plane) set(plane, ((dots >> plane) & 1) != 0);
  }

  // Moves to the next pixel, storing the bytes when they are full.
  void advance() {
    mask >>= 1;
    if (mask == 0) {
      store();
      for (uint8_t*& p : out_) ++p;
      if (!withPlane3_) out_[3] = &scratch_;
      accumulator = {};
      mask = kFirstBit;
    }
  }

  // Stores a partly filled byte: always after a last odd pixel, else only
  // when the mask has moved off the first bit.
  void flush(bool lastPixelPlaced) {
    if (mask != kFirstBit || lastPixelPlaced) store();
  }

  static constexpr uint32_t kFirstBit = 0x80;
  std::array<uint32_t, 4> accumulator{};
  uint32_t mask = kFirstBit;

 private:
  void store() {
    for (uint32_t plane : {3u, 0u, 1u, 2u}) *out_[plane] = static_cast<uint8_t>(accumulator[plane]);
  }

  std::array<uint8_t*, 4> out_{};
  bool withPlane3_;
  uint8_t scratch_ = 0;
};

}  // namespace kestrl::halftone::diffusion
