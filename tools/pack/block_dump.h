// Reading every resource block format back into its description, and
// turning any block into readable text or JSON. A block is checked by the
// library's own readers, so the pack takes exactly the blocks the library
// takes; one table describes each kind (block_kinds.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <nlohmann/json.hpp>
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

// What the pack knows about a kind of block.
struct BlockKindInfo {
  BlockKind kind;
  const char* name;  // on the command line and in JSON ("threshold-matrix", ...)
  size_t largest;    // bytes of its largest layout
  std::string (*check)(std::span<const uint8_t> bytes);  // empty, or the reason
  std::string (*dump)(std::span<const uint8_t> bytes);   // readable text
  nlohmann::json (*toJson)(std::span<const uint8_t> bytes);
  std::vector<uint8_t> (*fromJson)(const nlohmann::json& description);
};

const BlockKindInfo& kindInfo(BlockKind kind);

// The kind's name as used on the command line and in JSON descriptions.
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

using DotSizeRows = std::array<DotShares, layout::dot_table::kRows>;
using CorrectionTables = std::vector<std::array<uint8_t, layout::correction_tables::kTableBytes>>;

// Parsers. Each hands the block to the library's reader of its kind (for the
// halftone kinds, the stage itself, through the sized call) and reads the
// fields of a block the library takes; a block the library refuses gives the
// reason, in the library's terms. Blocks whose use depends on the job (the
// colour table, the calibration blocks) are checked for the default job: no
// composite grey, a table of as many channels as the record holds values.
Parsed<std::vector<uint16_t>> parseResourceIdList(std::span<const uint8_t> bytes);
Parsed<GridLevels> parseGridLevels(std::span<const uint8_t> bytes);
Parsed<ThresholdMatrix> parseThresholdMatrix(std::span<const uint8_t> bytes);
Parsed<DotSizeRows> parseDotSizeTable(std::span<const uint8_t> bytes);
Parsed<StageFourIdRecord> parseStageFourIdRecord(std::span<const uint8_t> bytes);
Parsed<DirectoryText> parseDirectory(std::span<const uint8_t> bytes);
// The grey levels and composite grey nodes are taken when the block holds
// them.
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
