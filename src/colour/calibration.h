// The calibration sequence that may follow the colour table stage: a
// calibration record in the caller's tag list, a channel map (resource 980),
// nominal values (990), a directory of correction resources (900) and the
// chosen correction resource, whose tables every grid byte passes through.
#pragma once

#include <cstdint>

#include "colour/cm_context.h"
#include "common/block_layout.h"
#include "common/status.h"
#include "memory/byte_reader.h"

namespace kestrl::colour {

inline constexpr uint32_t kCalibrationTag = KESTRL_TAG_CALIBRATION;
inline constexpr int32_t kChannelMapResource = layout::calibration_ids::kChannelMap;
inline constexpr int32_t kNominalResource = layout::calibration_ids::kNominalValues;
inline constexpr int32_t kCorrectionDirectoryResource =
    layout::calibration_ids::kCorrectionDirectory;
inline constexpr int kMaxCalibrationChannels = layout::calibration_record::kMaxChannels;
inline constexpr int kCorrectionTableCount = layout::correction_tables::kCount;
inline constexpr int kNeutralCorrectionTable = layout::correction_tables::kNeutral;
inline constexpr int32_t kMinCalibrationValue = layout::calibration_record::kMinValue;
inline constexpr int32_t kMaxCalibrationValue = layout::calibration_record::kMaxValue;

struct CalibrationState {
  void* stateBlock;
  void* tableBlock;
  uint8_t* calibrationTables;  // channelCount tables of 256 bytes, one per grid channel
  uint32_t step;               // 0 until a valid record is found, then 1 to 4
  uint8_t calibrationValues[kMaxCalibrationChannels];
  uint8_t channelMap[kMaxCalibrationChannels];
  uint8_t nominalValues[kMaxCalibrationChannels];
  CmContext* owner;
  const uint8_t* record;  // the "CW:" record of the tag list, followed at step 1
};

// Takes the state and the zero-filled tables and links them to the context;
// writes 980 when the tag list holds a valid calibration record, else -1.
// kOk, kAllocFailed or kLockFailed (nothing is then kept). Tables with more
// than 20 channels never calibrate: the record is treated as invalid.
Status setUpCalibration(CmContext& context, int32_t* nextId);

// Runs the step for one block and writes the next id: 990, 900, the chosen
// correction resource (0 when none fits) or -1 after the last. kOk;
// kAllocFailed/kLockFailed from the directory lookup of step 3 (nextId is
// then not written); kBadResource, with nextId not written, for a
// correction directory beyond the directory limits, or for a channel map,
// nominal-value or correction resource of known size too short for what is
// read (those three leave the state unchanged).
Status runCalibrationStep(CalibrationState& state, ByteReader block, int32_t* nextId);

// The readers of the calibration blocks, which the steps above use and the
// pack tool checks blocks with.

// A calibration record for a table of `channels` channels: "CW:", key, one
// value per channel within 30..70, 0xFE, 0xFF, all within a value of known
// size. Tables of more than 20 channels take no record.
bool validCalibrationRecord(const TagValue& record, uint32_t channels);

// Walks the channel map (resource 980), calling visit(key, map, length) for
// each record whose 0xFE comes within 20 map bytes; a record without it ends
// the walk there. False when the walk runs past the end of a block of known
// size.
template <typename Visit>
bool walkChannelMap(ByteReader block, Visit visit) {
  namespace map_layout = layout::channel_map;
  for (size_t pos = 0;;) {
    const uint8_t key = block.u8(pos);
    if (!block.ok()) return false;
    if (key == map_layout::kListEnd) return true;
    uint32_t length = 0;
    while (length <= map_layout::kMaxMapBytes &&
           block.u8(pos + 1 + length) != map_layout::kRecordEnd)
      ++length;
    if (!block.ok()) return false;
    if (length > map_layout::kMaxMapBytes) return true;
    visit(key, block.bytes(pos + 1, length), length);
    pos += length + 2;
  }
}

// The nominal values (resource 990) of `channels` channels, or null when a
// block of known size is too short.
const uint8_t* nominalValues(ByteReader block, uint32_t channels);

// The 21 correction tables of a correction resource, or null when a block of
// known size is too short.
const uint8_t* correctionTables(ByteReader block);

// Passes every grid byte of channel c through calibration table c.
void applyCalibration(CmContext& context);

// Releases the calibration state, if any, and clears the context's pointer.
// Also called by CmDelete for a sequence that the caller stopped early.
void releaseCalibration(CmContext& context);

}  // namespace kestrl::colour
