// The per-kind pieces the kind table (block_kinds.cpp) joins: each kind's
// text dump (block_dump.cpp) and JSON conversions (block_json.cpp).
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "pack/block_dump.h"

namespace kestrl::pack {

std::string dumpIdList(const std::vector<uint16_t>& ids);
std::string dumpGridLevels(const GridLevels& levels);
std::string dumpMatrix(const ThresholdMatrix& matrix);
std::string dumpDotTable(const DotSizeRows& rows);
std::string dumpStageFour(const StageFourIdRecord& record);
std::string dumpDirectory(const DirectoryText& directory);
std::string dumpColourTable(const ColourTable& table);
std::string dumpCalibrationRecord(const CalibrationRecord& record);
std::string dumpChannelMap(const std::vector<ChannelMapRecord>& records);
std::string dumpNominal(const std::vector<uint8_t>& values);
std::string dumpCorrection(const CorrectionTables& tables);

nlohmann::json idListToJson(const std::vector<uint16_t>& ids);
nlohmann::json gridLevelsToJson(const GridLevels& levels);
nlohmann::json matrixToJson(const ThresholdMatrix& matrix);
nlohmann::json dotTableToJson(const DotSizeRows& rows);
nlohmann::json stageFourToJson(const StageFourIdRecord& record);
nlohmann::json directoryToJson(const DirectoryText& directory);
nlohmann::json colourTableToJson(const ColourTable& table);
nlohmann::json calibrationRecordToJson(const CalibrationRecord& record);
nlohmann::json channelMapToJson(const std::vector<ChannelMapRecord>& records);
nlohmann::json nominalToJson(const std::vector<uint8_t>& values);
nlohmann::json correctionToJson(const CorrectionTables& tables);

std::vector<uint8_t> idListFromJson(const nlohmann::json& description);
std::vector<uint8_t> gridLevelsFromJson(const nlohmann::json& description);
std::vector<uint8_t> matrixBlockFromJson(const nlohmann::json& description);
std::vector<uint8_t> dotTableFromJson(const nlohmann::json& description);
std::vector<uint8_t> stageFourFromJson(const nlohmann::json& description);
std::vector<uint8_t> directoryBlockFromJson(const nlohmann::json& description);
std::vector<uint8_t> colourTableBlockFromJson(const nlohmann::json& description);
std::vector<uint8_t> calibrationRecordFromJson(const nlohmann::json& description);
std::vector<uint8_t> channelMapFromJson(const nlohmann::json& description);
std::vector<uint8_t> nominalFromJson(const nlohmann::json& description);
std::vector<uint8_t> correctionFromJson(const nlohmann::json& description);

}  // namespace kestrl::pack
