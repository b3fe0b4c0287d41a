// Ranges of matrix cell values, as the colour-corner screening asks of them.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

namespace kestrl::halftone {

inline constexpr uint32_t kCornerInks = 4;
inline constexpr uint32_t kCorners = 8;

// The cells m with from <= m < to. Bounds are clamped to the cell values 0 to
// 65535 (kOpen stands above every cell), which keeps every range's membership;
// membership is one unsigned comparison.
class CellRange {
 public:
  static constexpr int32_t kOpen = 0x10000;
  CellRange() = default;
  CellRange(int32_t from, int32_t to) {
    from_ = std::clamp(from, 0, kOpen);
    span_ = static_cast<uint32_t>(std::max(std::clamp(to, 0, kOpen) - from_, 0));
  }
  uint32_t holds(uint32_t m) const { return m - static_cast<uint32_t>(from_) < span_ ? 1u : 0u; }

 private:
  int32_t from_ = 0;
  uint32_t span_ = 0;  // empty
};

// The ranges of the four inks at each of the eight corners.
using InkRanges = std::array<CellRange, kCornerInks>;
using CornerRanges = std::array<InkRanges, kCorners>;

}  // namespace kestrl::halftone
