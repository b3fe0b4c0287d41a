// Bounds-aware reading of resource blocks.
//
// The exported calls receive a resource block without its size, so their
// readers are unbounded; a size-aware caller (or a fuzzer) passes the real
// size. Reads past the end return 0 and mark the reader as failed, so a stage
// reads everything it needs and then checks ok() once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace kestrl {

class ByteReader {
 public:
  static constexpr size_t kUnknownSize = std::numeric_limits<size_t>::max();

  explicit ByteReader(const void* data, size_t size = kUnknownSize)
      : data_(static_cast<const uint8_t*>(data)), size_(data ? size : 0), ok_(data != nullptr) {}

  bool ok() const { return ok_; }
  size_t size() const { return size_; }
  bool sizeKnown() const { return size_ != kUnknownSize; }

  // True when count bytes at offset lie inside the block (marks failure if not).
  bool require(size_t offset, size_t count) {
    if (offset <= size_ && count <= size_ - offset) return true;
    ok_ = false;
    return false;
  }

  // Pointer to count bytes at offset, or null (and failure) when out of range.
  const uint8_t* bytes(size_t offset, size_t count) {
    return require(offset, count) ? data_ + offset : nullptr;
  }

  uint8_t u8(size_t offset) { return require(offset, 1) ? data_[offset] : 0; }
  int8_t s8(size_t offset) { return static_cast<int8_t>(u8(offset)); }

  uint16_t u16le(size_t offset) {
    if (!require(offset, 2)) return 0;
    return static_cast<uint16_t>(data_[offset] | data_[offset + 1] << 8);
  }
  uint16_t u16be(size_t offset) {
    if (!require(offset, 2)) return 0;
    return static_cast<uint16_t>(data_[offset] << 8 | data_[offset + 1]);
  }
  int16_t s16be(size_t offset) { return static_cast<int16_t>(u16be(offset)); }
  int16_t s16le(size_t offset) { return static_cast<int16_t>(u16le(offset)); }

  uint32_t u32le(size_t offset) {
    if (!require(offset, 4)) return 0;
    return static_cast<uint32_t>(data_[offset]) | static_cast<uint32_t>(data_[offset + 1]) << 8 |
           static_cast<uint32_t>(data_[offset + 2]) << 16 |
           static_cast<uint32_t>(data_[offset + 3]) << 24;
  }
  uint32_t u32be(size_t offset) {
    if (!require(offset, 4)) return 0;
    return static_cast<uint32_t>(data_[offset]) << 24 |
           static_cast<uint32_t>(data_[offset + 1]) << 16 |
           static_cast<uint32_t>(data_[offset + 2]) << 8 | static_cast<uint32_t>(data_[offset + 3]);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  bool ok_;
};

}  // namespace kestrl
