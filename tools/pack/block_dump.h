// Reading every resource block format back into its description, checking
// it on the way, and turning any block into readable text.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pack/colour_blocks.h"
#include "pack/halftone_blocks.h"

namespace kestrl::pack {

enum class BlockKind {
  kResourceIdList,
  kGridLevels,
  kThresholdMatrix,
  kDotSizeTable,
  kStageFourIdRecord,
  kDirectory,
  kColourTable,
  kCalibrationRecord,
  kChannelMap,
  kNominalValues,
  kCorrectionTables,
};

inline constexpr BlockKind kAllBlockKinds[] = {
    BlockKind::kResourceIdList, BlockKind::kGridLevels,        BlockKind::kThresholdMatrix,
    BlockKind::kDotSizeTable,   BlockKind::kStageFourIdRecord, BlockKind::kDirectory,
    BlockKind::kColourTable,    BlockKind::kCalibrationRecord, BlockKind::kChannelMap,
    BlockKind::kNominalValues,  BlockKind::kCorrectionTables,
};

// The kind's name as used on the command line and in JSON descriptions
// ("threshold-matrix", "colour-table", ...).
const char* kindName(BlockKind kind);
bool kindFromName(const std::string& name, BlockKind& kind);

// A best guess at a block's kind from its pack id (or -1), whether it is a
// text file, and its contents. False when nothing fits.
bool guessKind(std::span<const uint8_t> bytes, int32_t id, bool text, BlockKind& kind);

// A parsed block, or the reason it could not be parsed.
template <typename T>
struct Parsed {
  T value{};
  std::string error;
  bool ok() const { return error.empty(); }
};

struct GridLevels {
  uint16_t pointCount = 0;
  std::vector<uint8_t> levels;
};

struct CalibrationRecord {
  uint8_t key = 0;
  std::vector<uint8_t> values;
};

using DotSizeRows = std::array<DotShares, 256>;
using CorrectionTables = std::vector<std::array<uint8_t, 256>>;  // 21 tables

// Parsers. Each checks what a reader of the block relies on, so that a block
// that parses can be fed to the library without reads past its end.
Parsed<std::vector<uint16_t>> parseResourceIdList(std::span<const uint8_t> bytes);
// Levels must rise strictly from 0 to 255.
Parsed<GridLevels> parseGridLevels(std::span<const uint8_t> bytes);
// Width a power of two, at most 256 x 256 and fewer than 65536 cells, two
// bytes per cell, all cells present.
Parsed<ThresholdMatrix> parseThresholdMatrix(std::span<const uint8_t> bytes);
Parsed<DotSizeRows> parseDotSizeTable(std::span<const uint8_t> bytes);
Parsed<StageFourIdRecord> parseStageFourIdRecord(std::span<const uint8_t> bytes);
// Text up to the first NUL. At most 100 entries of nine fields, names of at
// most 11 characters, at most 12, 32 and 12 names in the three lists, lines
// of at most 255 characters, numeric fields decimal.
Parsed<DirectoryText> parseDirectory(std::span<const uint8_t> bytes);
// Equal point counts of 2 to 68 on the three axes, level rows rising
// strictly from 0 to 255, the whole grid present, the extra section inside
// the block, ink-gain percentages of at least 1. The grey levels and
// composite grey nodes are taken when the block holds them.
Parsed<ColourTable> parseColourTable(std::span<const uint8_t> bytes);
Parsed<CalibrationRecord> parseCalibrationRecord(std::span<const uint8_t> bytes);
Parsed<std::vector<ChannelMapRecord>> parseChannelMap(std::span<const uint8_t> bytes);
Parsed<std::vector<uint8_t>> parseNominalValues(std::span<const uint8_t> bytes);
Parsed<CorrectionTables> parseCorrectionTables(std::span<const uint8_t> bytes);

// The number of bytes a colour table block's readers may touch: up to the
// end of the composite grey nodes (or of the extra section if it lies
// further). Feed a block padded with zeros to this length.
size_t colourTableReadLength(const ColourTable& table, size_t blockSize);

// The most bytes a block of the kind can usefully hold (its largest layout,
// plus a little room for padding); pack files beyond it are refused unread.
size_t maxBlockBytes(BlockKind kind);

// The most bytes any block stored as text (a directory) or as binary can
// hold: the limit for a file whose kind is not known yet.
size_t maxBlockBytes(bool text);

// Checks a block of the kind: empty when it parses, else the reason.
std::string checkBlock(BlockKind kind, std::span<const uint8_t> bytes);

// The block decoded into readable text: fields, tables and grid summaries.
// A block that does not parse gives the reason instead.
std::string dumpBlock(BlockKind kind, std::span<const uint8_t> bytes);

}  // namespace kestrl::pack
