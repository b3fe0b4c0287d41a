// The byte layouts the fuzz targets read their inputs in, and the writer the
// seed generator builds inputs with. A target reads a few header bytes
// (modes, settings, call arguments) and then length-prefixed chunks (the
// resource blocks); a short input reads as zeros, so every input is valid.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace kestrl::fuzz {

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }
  uint16_t u16() { return static_cast<uint16_t>(u8() | u8() << 8); }
  uint32_t u32() { return u16() | static_cast<uint32_t>(u16()) << 16; }
  int32_t s32() { return static_cast<int32_t>(u32()); }
  bool flag() { return (u8() & 1) != 0; }

  // A value from 0 to count - 1 (count > 0).
  uint32_t pick(uint32_t count) { return u8() % count; }

  // A chunk: a 32-bit length, then that many bytes (clipped to what is left).
  std::vector<uint8_t> chunk() {
    const size_t length = std::min<size_t>(u32(), remaining());
    std::vector<uint8_t> bytes(data_ + pos_, data_ + pos_ + length);
    pos_ += length;
    return bytes;
  }

  // Everything not read yet.
  std::vector<uint8_t> rest() {
    std::vector<uint8_t> bytes(data_ + pos_, data_ + size_);
    pos_ = size_;
    return bytes;
  }

  size_t remaining() const { return size_ - pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// Builds inputs in the layout Input reads.
class Output {
 public:
  Output& u8(uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  Output& u16(uint16_t v) { return u8(static_cast<uint8_t>(v)).u8(static_cast<uint8_t>(v >> 8)); }
  Output& u32(uint32_t v) {
    return u16(static_cast<uint16_t>(v)).u16(static_cast<uint16_t>(v >> 16));
  }
  Output& chunk(std::span<const uint8_t> block) {
    u32(static_cast<uint32_t>(block.size()));
    return raw(block);
  }
  Output& raw(std::span<const uint8_t> block) {
    bytes_.insert(bytes_.end(), block.begin(), block.end());
    return *this;
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

// A broken promise of the library: stops the run so that the fuzzer keeps
// the input.
[[noreturn]] inline void fail(const std::string& what) {
  std::fprintf(stderr, "kestrl fuzz: %s\n", what.c_str());
  std::abort();
}

inline void require(bool condition, const std::string& what) {
  if (!condition) fail(what);
}

}  // namespace kestrl::fuzz
