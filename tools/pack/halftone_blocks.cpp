#include "pack/halftone_blocks.h"

#include "common/block_layout.h"

namespace kestrl::pack {

namespace {

void putU16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void putU32(std::vector<uint8_t>& out, uint32_t value) {
  putU16(out, static_cast<uint16_t>(value));
  putU16(out, static_cast<uint16_t>(value >> 16));
}

uint8_t sideByte(uint32_t cells) {
  return static_cast<uint8_t>(cells == layout::threshold_matrix::kLargestSide
                                  ? layout::threshold_matrix::kSideOf256
                                  : cells);
}

}  // namespace

std::vector<uint8_t> buildResourceIdList(std::span<const uint16_t> ids) {
  std::vector<uint8_t> out;
  for (uint16_t id : ids) putU16(out, id);
  putU16(out, layout::id_list::kEndMarker);
  return out;
}

std::vector<uint8_t> buildGridLevels(uint16_t pointCount, std::span<const uint8_t> levels) {
  std::vector<uint8_t> out;
  putU16(out, pointCount);
  out.insert(out.end(), levels.begin(), levels.end());
  return out;
}

std::vector<uint8_t> buildGridLevels(std::span<const uint8_t> levels) {
  return buildGridLevels(static_cast<uint16_t>(levels.size()), levels);
}

std::vector<uint8_t> buildThresholdMatrix(const ThresholdMatrix& matrix) {
  std::vector<uint8_t> out = {sideByte(matrix.width), sideByte(matrix.height), matrix.bytesPerCell,
                              0};
  for (uint16_t cell : matrix.cells) putU16(out, cell);
  return out;
}

std::vector<uint8_t> buildDotSizeTable(std::span<const DotShares, layout::dot_table::kRows> rows) {
  std::vector<uint8_t> out;
  out.reserve(3 * rows.size());
  for (const DotShares& row : rows) out.insert(out.end(), row.begin(), row.end());
  return out;
}

std::vector<uint8_t> buildStageFourIdRecord(const StageFourIdRecord& record) {
  std::vector<uint8_t> out;
  putU32(out, record.present);
  putU16(out, record.version);
  putU16(out, record.dotTableId);
  return out;
}

}  // namespace kestrl::pack
