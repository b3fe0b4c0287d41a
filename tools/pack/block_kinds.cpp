// The table of block kinds: for each, its name, its largest layout, its
// parser (on the library's readers), its text dump and its JSON
// conversions. Everything the pack does by kind looks the kind up here.
#include <algorithm>
#include <stdexcept>

#include "common/block_layout.h"
#include "pack/block_kind_parts.h"

namespace kestrl::pack {

namespace {

using Bytes = std::span<const uint8_t>;

template <auto Parse>
std::string checkWith(Bytes bytes) {
  return Parse(bytes).error;
}

template <auto Parse, auto Dump>
std::string dumpWith(Bytes bytes) {
  const auto parsed = Parse(bytes);
  return parsed.ok() ? Dump(parsed.value) : "cannot read block: " + parsed.error + "\n";
}

template <auto Parse, auto ToJson>
nlohmann::json toJsonWith(Bytes bytes) {
  const auto parsed = Parse(bytes);
  if (!parsed.ok()) throw std::invalid_argument(parsed.error);
  return ToJson(parsed.value);
}

#define KESTRL_KIND(kind, name, largest, parse, dump, toJson, fromJson)                      \
  BlockKindInfo {                                                                            \
    kind, name, largest, checkWith<parse>, dumpWith<parse, dump>, toJsonWith<parse, toJson>, \
        fromJson                                                                             \
  }

// Largest layouts of the kinds whose size the block does not bound itself.
constexpr size_t kMaxChannels = 255;
constexpr size_t kMaxExtraSection = 65536;
constexpr size_t kMaxDirectoryText = 65536;
constexpr size_t kMaxMapRecords = 256;
constexpr size_t kMaxPoints = KESTRL_MAX_GRID_POINTS;
namespace calibration = layout::calibration_record;
constexpr size_t kLargestIdList = layout::id_list::kIdBytes * (layout::id_list::kMaxIds + 1);

const BlockKindInfo kKinds[] = {
    KESTRL_KIND(BlockKind::kResourceIdList, "resource-id-list", kLargestIdList, parseResourceIdList,
                dumpIdList, idListToJson, idListFromJson),
    KESTRL_KIND(BlockKind::kGridLevels, "grid-levels", layout::grid_levels::kLevels + 256,
                parseGridLevels, dumpGridLevels, gridLevelsToJson, gridLevelsFromJson),
    KESTRL_KIND(BlockKind::kThresholdMatrix, "threshold-matrix",
                layout::threshold_matrix::kCells +
                    layout::threshold_matrix::kCellBytes * layout::threshold_matrix::kMaxCells,
                parseThresholdMatrix, dumpMatrix, matrixToJson, matrixBlockFromJson),
    KESTRL_KIND(BlockKind::kDotSizeTable, "dot-size-table", layout::dot_table::kBytes,
                parseDotSizeTable, dumpDotTable, dotTableToJson, dotTableFromJson),
    KESTRL_KIND(BlockKind::kStageFourIdRecord, "stage-four-id-record",
                layout::stage_four_record::kBytes, parseStageFourIdRecord, dumpStageFour,
                stageFourToJson, stageFourFromJson),
    KESTRL_KIND(BlockKind::kDirectory, "directory", kMaxDirectoryText, parseDirectory,
                dumpDirectory, directoryToJson, directoryBlockFromJson),
    KESTRL_KIND(BlockKind::kColourTable, "colour-table",
                layout::colour_table::kLevels + 4 * kMaxPoints +
                    (kMaxPoints * kMaxPoints * kMaxPoints + kMaxPoints) * kMaxChannels +
                    kMaxExtraSection,
                parseColourTable, dumpColourTable, colourTableToJson, colourTableBlockFromJson),
    KESTRL_KIND(BlockKind::kCalibrationRecord, "calibration-record",
                calibration::kValues + calibration::kMaxChannels + 2, parseCalibrationRecord,
                dumpCalibrationRecord, calibrationRecordToJson, calibrationRecordFromJson),
    KESTRL_KIND(BlockKind::kChannelMap, "channel-map",
                kMaxMapRecords*(layout::channel_map::kMaxMapBytes + 2) + 1, parseChannelMap,
                dumpChannelMap, channelMapToJson, channelMapFromJson),
    KESTRL_KIND(BlockKind::kNominalValues, "nominal-values", calibration::kMaxChannels,
                parseNominalValues, dumpNominal, nominalToJson, nominalFromJson),
    KESTRL_KIND(BlockKind::kCorrectionTables, "correction-tables",
                layout::correction_tables::kBytes, parseCorrectionTables, dumpCorrection,
                correctionToJson, correctionFromJson),
};

#undef KESTRL_KIND

}  // namespace

const BlockKindInfo& kindInfo(BlockKind kind) {
  return *std::find_if(std::begin(kKinds), std::end(kKinds),
                       [&](const BlockKindInfo& k) { return k.kind == kind; });
}

const char* kindName(BlockKind kind) {
  return kindInfo(kind).name;
}

bool kindFromName(const std::string& name, BlockKind& kind) {
  for (const BlockKindInfo& k : kKinds) {
    if (name == k.name) {
      kind = k.kind;
      return true;
    }
  }
  return false;
}

bool guessKind(std::span<const uint8_t> bytes, int32_t id, bool text, BlockKind& kind) {
  const auto fits = [&](BlockKind k) {
    return checkBlock(k, bytes).empty() ? (kind = k, true) : false;
  };
  if (id == layout::calibration_ids::kChannelMap) return fits(BlockKind::kChannelMap);
  if (id == layout::calibration_ids::kNominalValues) return fits(BlockKind::kNominalValues);
  const auto& tag = layout::calibration_record::kTag;
  const bool record =
      bytes.size() >= std::size(tag) && std::equal(tag, std::end(tag), bytes.begin());
  if (text || record) return fits(record ? BlockKind::kCalibrationRecord : BlockKind::kDirectory);
  const auto exactly = [&](BlockKind k, size_t size) { return bytes.size() == size && fits(k); };
  return exactly(BlockKind::kCorrectionTables, layout::correction_tables::kBytes) ||
         exactly(BlockKind::kDotSizeTable, layout::dot_table::kBytes) ||
         fits(BlockKind::kThresholdMatrix) || fits(BlockKind::kColourTable) ||
         fits(BlockKind::kGridLevels) ||
         exactly(BlockKind::kStageFourIdRecord, layout::stage_four_record::kBytes) ||
         fits(BlockKind::kResourceIdList);
}

size_t maxBlockBytes(BlockKind kind) {
  constexpr size_t kPadding = 4096;
  return kindInfo(kind).largest + kPadding;
}

size_t maxBlockBytes(bool text) {
  size_t largest = 0;
  for (const BlockKindInfo& k : kKinds) {
    if ((k.kind == BlockKind::kDirectory) == text)
      largest = std::max(largest, maxBlockBytes(k.kind));
  }
  return largest;
}

std::string checkBlock(BlockKind kind, std::span<const uint8_t> bytes) {
  return kindInfo(kind).check(bytes);
}

std::string dumpBlock(BlockKind kind, std::span<const uint8_t> bytes) {
  return kindInfo(kind).dump(bytes);
}

}  // namespace kestrl::pack
