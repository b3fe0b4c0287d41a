// The layout of every resource block the library reads: offsets, markers,
// limits and header sizes. The library's readers and the pack tool's
// builders, dumps and JSON descriptions all take their numbers from here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrl::layout {

// Halftone stage 1: little-endian 16-bit ids ended by the end marker.
namespace id_list {
inline constexpr size_t kIdBytes = 2;
inline constexpr uint16_t kEndMarker = 0xFFFF;
inline constexpr size_t kMaxIds = 15;
}  // namespace id_list

// Halftone stage 2 (colour input outside mode 0): a 16-bit point count, then
// one byte per level.
namespace grid_levels {
inline constexpr size_t kPointCount = 0;  // u16 little-endian
inline constexpr size_t kLevels = 2;
inline constexpr uint16_t kPoints = 32;
}  // namespace grid_levels

// Halftone stage 3: width and height bytes (255 stands for 256), bytes per
// cell, a spare byte, then the cells row after row, little-endian.
namespace threshold_matrix {
inline constexpr size_t kWidth = 0;
inline constexpr size_t kHeight = 1;
inline constexpr size_t kBytesPerCell = 2;
inline constexpr size_t kCells = 4;  // the header's size
inline constexpr uint8_t kCellBytes = 2;
inline constexpr uint8_t kSideOf256 = 255;
inline constexpr uint32_t kLargestSide = 256;
inline constexpr uint32_t kMaxCells = 0xFFFF;
}  // namespace threshold_matrix

// Halftone stage 4: 256 rows of small, medium and large dot shares.
namespace dot_table {
inline constexpr size_t kRows = 256;
inline constexpr size_t kRowBytes = 3;
inline constexpr size_t kBytes = kRows * kRowBytes;
inline constexpr uint32_t kMaxShareSum = 255;
}  // namespace dot_table

// The colour side's record naming the stage-4 resource.
namespace stage_four_record {
inline constexpr size_t kPresent = 0;     // u32 little-endian, non-zero
inline constexpr size_t kVersion = 4;     // u16 little-endian
inline constexpr size_t kDotTableId = 6;  // u16 little-endian
inline constexpr size_t kBytes = 8;
inline constexpr uint16_t kSupportedVersion = 1;
}  // namespace stage_four_record

// The colour table: offsets of the fixed header fields.
namespace colour_table {
inline constexpr size_t kTableFlag = 15;
inline constexpr size_t kExtraOffset = 16;  // u32 little-endian
inline constexpr size_t kExtraSize = 20;    // u32 little-endian
inline constexpr size_t kLutKind = 24;
inline constexpr size_t kPeakReduce = 32;       // 3 unsigned bytes
inline constexpr size_t kHueShift = 36;         // 3 signed bytes
inline constexpr size_t kSaturationShift = 39;  // signed byte
inline constexpr size_t kPairReduce = 42;       // 3 signed bytes
inline constexpr size_t kScaleParams = 48;      // 5 x s16 big-endian
inline constexpr size_t kHeaderParams = 64;     // 4 x s16 big-endian
inline constexpr size_t kGridPoints = 72;       // 3 bytes
inline constexpr size_t kChannelCount = 75;
inline constexpr size_t kLevels = 76;  // the header's size: three rows of n bytes, then the grid
}  // namespace colour_table

// Colour stage 1: the directory, text lines. A directory beyond any of these
// limits is refused, not truncated.
namespace directory {
inline constexpr int kMaxEntries = 100;
inline constexpr int kMaxNameLength = 11;
inline constexpr int kMaxLineLength = 255;
inline constexpr int kMaxModeNames = 12;
inline constexpr int kMaxSelectNames = 32;
inline constexpr int kMaxClassNames = 12;
}  // namespace directory

// The calibration record of the tag list: "CW:", a key byte, one value per
// channel (30 to 70), then 0xFE and 0xFF.
namespace calibration_record {
inline constexpr uint8_t kTag[3] = {'C', 'W', ':'};
inline constexpr size_t kKey = 3;
inline constexpr size_t kValues = 4;
inline constexpr uint8_t kValuesEnd = 0xFE;
inline constexpr uint8_t kRecordEnd = 0xFF;
inline constexpr uint32_t kMaxChannels = 20;
inline constexpr uint8_t kMinValue = 30;
inline constexpr uint8_t kMaxValue = 70;
}  // namespace calibration_record

// The calibration resources the colour side asks for by number.
namespace calibration_ids {
inline constexpr int32_t kChannelMap = 980;
inline constexpr int32_t kNominalValues = 990;
inline constexpr int32_t kCorrectionDirectory = 900;
}  // namespace calibration_ids

// The channel map (resource 980): records of a key byte, map bytes and 0xFE,
// the list ended by 0xFF. A record whose 0xFE does not come within
// kMaxMapBytes map bytes ends the walk.
namespace channel_map {
inline constexpr uint8_t kRecordEnd = 0xFE;
inline constexpr uint8_t kListEnd = 0xFF;
inline constexpr uint32_t kMaxMapBytes = 20;
}  // namespace channel_map

// The last calibration stage: 21 correction tables of 256 entries, from the
// most lightening to the most darkening; table 10 changes nothing.
namespace correction_tables {
inline constexpr int kCount = 21;
inline constexpr int kTableBytes = 256;
inline constexpr int kBytes = kCount * kTableBytes;
inline constexpr int kNeutral = 10;
}  // namespace correction_tables

}  // namespace kestrl::layout
