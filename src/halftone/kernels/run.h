// One Halftone run as the engines see it: the call's arguments, the state a
// context keeps from run to run, and the error lines the runs share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kestrl::halftone {

inline constexpr size_t kErrorLineCount = 4;

// Cells of margin at each end of an error line, so that the widest kernels
// need no bounds checks.
inline constexpr uint32_t kErrorLineMargin = 30;

// The bytes of one error line of a line of `lineWidth` pixels: a 16-bit cell
// per pixel and both margins, rounded to whole 32-bit words, plus one word.
constexpr uint32_t errorLineBytes(uint32_t lineWidth) {
  return ((2 * lineWidth + 119) & ~uint32_t{3}) + 4;
}

// The arguments of one Halftone call after the context.
struct HalftoneRun {
  const uint8_t* source;
  uint8_t* destination;
  uint32_t planeStride;
  uint32_t bitOffset;
  uint32_t pixelCount;
  uint32_t startX;
  uint32_t reserved7;
  uint32_t lineNumber;
  uint32_t reserved9;
  uint32_t reserved10;
};

// All lines are numbered from 0; this value asks error-line engines to clear
// their line and start afresh.
inline constexpr uint32_t kRestartLine = 0xFFFFFFFFu;

// What an engine keeps from one run to the next besides its error lines: the
// line of the last run and where that run ended.
struct RunState {
  uint32_t lastLine = 0;
  uint32_t lastRunEnd = 0;
};

// One error line: a signed 16-bit cell per pixel with a margin each side.
struct ErrorLine {
  std::span<int16_t> withMargins;  // empty when the mode made no such line

  bool empty() const { return withMargins.empty(); }
  // The cell of pixel 0; the margin lies at indices -kErrorLineMargin to -1.
  int16_t* atPixel0() const { return withMargins.data() + kErrorLineMargin; }
};

}  // namespace kestrl::halftone
