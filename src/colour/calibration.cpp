#include "colour/calibration.h"

#include <algorithm>
#include <cstring>

#include "colour/directory.h"
#include "memory/memory.h"

namespace kestrl::colour {

namespace {

namespace record_layout = layout::calibration_record;
constexpr int kTableBytes = layout::correction_tables::kTableBytes;
constexpr int kNominalWindow = 2;  // values this close to nominal use the neutral table

// Resource 980: a record with fewer map bytes than channels, or a map byte
// naming a channel the grid does not have, is skipped so the tables are never
// overrun. With `apply` false the walk only tells whether it ends within the
// block.
bool readChannelMap(CalibrationState& state, ByteReader block, uint32_t channels, bool apply) {
  const uint8_t key = state.record[record_layout::kKey];
  return walkChannelMap(block, [&](uint8_t recordKey, const uint8_t* map, uint32_t length) {
    const bool usable = recordKey == key && length >= channels &&
                        std::all_of(map, map + channels, [&](uint8_t c) { return c < channels; });
    if (usable && apply) std::memcpy(state.channelMap, map, channels);
  });
}

Status chooseCorrectionResource(CalibrationState& state, ByteReader block, int32_t* nextId) {
  CmContext& context = *state.owner;
  state.step = 4;
  context.tableClass = 0;
  DirectoryChoice choice{};
  const Status status = lookUpDirectory(context, block, choice);
  if (status != kOk) return status;
  *nextId = choice.found ? choice.entryId : 0;
  return kOk;
}

Status fillCalibrationTables(CalibrationState& state, ByteReader block, int32_t* nextId) {
  const uint32_t channels = state.owner->lut->channelCount;
  const uint8_t* tables = correctionTables(block);
  if (tables == nullptr) return kBadResource;
  bool allNearNominal = true;
  for (uint32_t i = 0; i < channels; ++i) {
    const int32_t difference = state.calibrationValues[i] - state.nominalValues[i];
    allNearNominal =
        allNearNominal && difference >= -kNominalWindow && difference <= kNominalWindow;
  }
  if (allNearNominal) std::memcpy(state.calibrationValues, state.nominalValues, channels);
  for (uint32_t i = 0; i < channels; ++i) {
    const int32_t t = std::clamp((state.calibrationValues[i] - state.nominalValues[i] + 20) / 2, 0,
                                 kCorrectionTableCount - 1);
    std::memcpy(state.calibrationTables + state.channelMap[i] * kTableBytes,
                tables + t * kTableBytes, kTableBytes);
  }
  *nextId = -1;
  return kOk;
}

}  // namespace

bool validCalibrationRecord(const TagValue& tag, uint32_t channels) {
  const auto* record = static_cast<const uint8_t*>(tag.data);
  if (record == nullptr || channels > kMaxCalibrationChannels) return false;
  if (!tag.holds(record_layout::kValues + channels + 2)) return false;
  if (std::memcmp(record, record_layout::kTag, sizeof record_layout::kTag) != 0) return false;
  const uint8_t* values = record + record_layout::kValues;
  for (uint32_t i = 0; i < channels; ++i) {
    if (values[i] < kMinCalibrationValue || values[i] > kMaxCalibrationValue) return false;
  }
  return values[channels] == record_layout::kValuesEnd &&
         values[channels + 1] == record_layout::kRecordEnd;
}

const uint8_t* nominalValues(ByteReader block, uint32_t channels) {
  return block.bytes(0, channels);
}

const uint8_t* correctionTables(ByteReader block) {
  return block.bytes(0, kCorrectionTableCount * kTableBytes);
}

Status setUpCalibration(CmContext& context, int32_t* nextId) {
  memory::OwnedBlock<CalibrationState> stateBlock;
  if (Status s = stateBlock.allocate(sizeof(CalibrationState), /*zeroFill=*/true); s != kOk) {
    return s;
  }
  const uint32_t channels = context.lut->channelCount;
  memory::OwnedBlock<uint8_t> tables;
  if (Status s = tables.allocate(channels * kTableBytes, /*zeroFill=*/true); s != kOk) return s;
  CalibrationState* state = stateBlock.get();
  state->calibrationTables = tables.get();
  state->stateBlock = stateBlock.release();
  state->tableBlock = tables.release();
  state->owner = &context;
  context.calibration = state;

  const TagValue record = findTagValue(context.settings.tagList, kCalibrationTag);
  if (!validCalibrationRecord(record, channels)) {
    *nextId = -1;
    return kOk;
  }
  state->record = static_cast<const uint8_t*>(record.data);
  state->step = 1;
  *nextId = kChannelMapResource;
  return kOk;
}

Status runCalibrationStep(CalibrationState& state, ByteReader block, int32_t* nextId) {
  const uint32_t channels = state.owner->lut->channelCount;
  switch (state.step) {
    case 1:
      if (!readChannelMap(state, block, channels, /*apply=*/false)) return kBadResource;
      std::memcpy(state.calibrationValues, state.record + record_layout::kValues, channels);
      for (int i = 0; i < kMaxCalibrationChannels; ++i)
        state.channelMap[i] = static_cast<uint8_t>(i);
      readChannelMap(state, block, channels, /*apply=*/true);
      state.step = 2;
      *nextId = kNominalResource;
      return kOk;
    case 2: {
      const uint8_t* nominal = nominalValues(block, channels);
      if (nominal == nullptr) return kBadResource;
      std::memcpy(state.nominalValues, nominal, channels);
      state.step = 3;
      *nextId = kCorrectionDirectoryResource;
      return kOk;
    }
    case 3:
      return chooseCorrectionResource(state, block, nextId);
    default:
      return fillCalibrationTables(state, block, nextId);
  }
}

void applyCalibration(CmContext& context) {
  CmLut& lut = *context.lut;
  const uint8_t* tables = context.calibration->calibrationTables;
  const uint32_t channels = lut.channelCount;
  const uint32_t n = static_cast<uint32_t>(lut.gridPoints[0]);
  uint8_t* byte = lut.gridData;
  for (uint32_t node = 0; node < n * n * n; ++node) {
    for (uint32_t c = 0; c < channels; ++c, ++byte) *byte = tables[c * kTableBytes + *byte];
  }
}

void releaseCalibration(CmContext& context) {
  CalibrationState* state = context.calibration;
  if (state == nullptr) return;
  context.calibration = nullptr;
  memory::releaseOne(state->tableBlock);
  memory::releaseOne(state->stateBlock);
}

}  // namespace kestrl::colour
