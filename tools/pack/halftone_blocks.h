// Builders for the halftone resources: the resource id list, the colour grid
// levels, the threshold matrix, the dot-size table and the stage-4 id record.
// Each takes a plain description and produces the little-endian bytes the
// driver would feed in.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "common/block_layout.h"

namespace kestrl::pack {

// The ids followed by the end marker 0xFFFF. Id 0 names the curve or grid
// resource; ids 1 to 3 the threshold matrix by resolution class.
std::vector<uint8_t> buildResourceIdList(std::span<const uint16_t> ids);

// The point count (normally 32) followed by the levels, one byte each.
std::vector<uint8_t> buildGridLevels(std::span<const uint8_t> levels);
std::vector<uint8_t> buildGridLevels(uint16_t pointCount, std::span<const uint8_t> levels);

// A threshold matrix: width x height cells, row after row.
struct ThresholdMatrix {
  uint32_t width = 0;   // 1 to 256
  uint32_t height = 0;  // 1 to 256
  std::vector<uint16_t> cells;
  uint8_t bytesPerCell = 2;
};

// Width and height bytes (256 written as 255), bytes per cell, a spare byte,
// then the cells.
std::vector<uint8_t> buildThresholdMatrix(const ThresholdMatrix& matrix);

// A width x height matrix whose cells are given by cell(column, row).
template <typename CellFunction>
ThresholdMatrix makeThresholdMatrix(uint32_t width, uint32_t height, CellFunction cell) {
  ThresholdMatrix matrix{width, height, {}, 2};
  matrix.cells.reserve(size_t{width} * height);
  for (uint32_t row = 0; row < height; ++row) {
    for (uint32_t column = 0; column < width; ++column) {
      matrix.cells.push_back(static_cast<uint16_t>(cell(column, row)));
    }
  }
  return matrix;
}

// Shares of small, medium and large dots for one ink level.
using DotShares = std::array<uint8_t, 3>;

// The 256 rows of three shares, 768 bytes.
std::vector<uint8_t> buildDotSizeTable(std::span<const DotShares, layout::dot_table::kRows> rows);

// The colour side's stage-4 id record: a non-zero word, the version 1 and the
// id of the dot-size table resource.
struct StageFourIdRecord {
  uint32_t present = 1;
  uint16_t version = 1;
  uint16_t dotTableId = 0;
};
std::vector<uint8_t> buildStageFourIdRecord(const StageFourIdRecord& record);

}  // namespace kestrl::pack
