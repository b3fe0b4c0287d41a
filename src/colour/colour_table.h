// Loading the colour table block into the colour table record, with the
// neutral-axis rules and the ink-gain correction.
#pragma once

#include <cstdint>

#include "colour/cm_context.h"
#include "common/block_layout.h"
#include "common/status.h"
#include "memory/byte_reader.h"

namespace kestrl::colour {

namespace table_layout = layout::colour_table;

inline constexpr int32_t kMinGridPoints = 2;
inline constexpr uint8_t kGreyReplacementFlag = 50;  // tableFlag that allows it
inline constexpr int32_t kPlainGreyStyle = 50;       // greyStyle that keeps the last-channel axis

// Fills the context's record from the block: header values, breakpoints, a
// copy of the grid and of the extra section, then the neutral-axis rules.
// kOk, kAllocFailed, kLockFailed, or kBadResource when the block breaks an
// invariant the lookup relies on (point counts unequal or outside 2..68, no
// channels, a breakpoint row not rising strictly from 0 to 255) or, when
// its size is known, is too short for a part that is read. A refused block
// changes nothing.
Status loadColourTable(CmContext& context, ByteReader block);

// The fixed header of a colour table block, as stored.
struct ColourTableHeader {
  uint8_t tableFlag;
  uint8_t lutKind;
  uint8_t peakReduce[3];
  int8_t hueShift[3];
  int8_t saturationShift;
  int8_t pairReduce[3];
  int16_t scaleParams[5];
  int16_t headerParams[4];
  uint32_t extraOffset;
  uint32_t extraSize;
  uint8_t gridPoints[3];
  uint8_t channelCount;
};

// Reads the header fields; the reader's ok() tells whether the block held them.
ColourTableHeader readColourTableHeader(ByteReader& block);

// True when loadColourTable would take the block for the context's settings
// and print mode: the checks it makes before changing anything.
bool colourTableReadable(const CmContext& context, ByteReader block);

// Ink-gain correction of one byte with the percentages at zero (p0) and full
// ink (p1). When the divisor comes out 0 or negative (p1 of 0 or below) the
// byte is returned unchanged rather than dividing by it.
uint8_t inkGainCorrect(uint8_t x, int32_t p0, int32_t p1);

// Replaces every grid byte by its ink-gain correction.
void inkGainCorrectGrid(CmLut& lut);

// Byte offset of node (i, i, i) of a cube of n points per axis.
inline uint32_t neutralNodeOffset(uint32_t i, uint32_t n, uint32_t channels) {
  return i * (n * n + n + 1) * channels;
}

}  // namespace kestrl::colour
