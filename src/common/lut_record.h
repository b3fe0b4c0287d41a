// The colour table record's extra section as the library keeps it: one
// block that holds the section's byte count ahead of the section's bytes.
//
// extraBlock names the block and extraData the bytes after the count, so the
// library's own record and every copy of it lead to the count, and a reader
// never has to trust the section to be as long as it reads. A record made by
// the caller (whose extraData is not so placed) carries no count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

#include "kestrl30.h"

namespace kestrl::extra_section {

// The count takes 4 bytes; 8 keep the section's bytes 8-byte aligned.
inline constexpr size_t kCountBytes = 8;

// The block size that holds a section of `size` bytes.
inline constexpr size_t blockBytes(uint32_t size) {
  return kCountBytes + size;
}

// Writes the count into a fresh block and returns where the bytes go.
inline uint8_t* prepare(void* block, uint32_t size) {
  std::memcpy(block, &size, sizeof size);
  return static_cast<uint8_t*>(block) + kCountBytes;
}

// The byte count of the record's extra section when the library made it;
// none for a record without a section or one made by the caller.
inline std::optional<uint32_t> keptSize(const CmLut& lut) {
  if (lut.extraData == nullptr || lut.extraBlock == nullptr) return std::nullopt;
  const auto* block = static_cast<const uint8_t*>(lut.extraBlock);
  if (lut.extraData != block + kCountBytes) return std::nullopt;
  uint32_t size = 0;
  std::memcpy(&size, block, sizeof size);
  return size;
}

}  // namespace kestrl::extra_section
