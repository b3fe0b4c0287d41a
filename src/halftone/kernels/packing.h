// Output packing shared by every engine.
//
// Pixels are packed from the most significant bit down, one or two bits each.
// The run's first pixel lands at pixel position bitOffset of the first byte;
// the bits before it keep what the caller left there. Each byte is stored
// whole when it fills up; after the last pixel a partly filled byte is stored
// with its remaining low bits 0 (so an empty run at a non-zero offset still
// rewrites the first byte, and an empty run at offset 0 writes nothing).
#pragma once

#include <cstdint>

namespace kestrl::halftone {

template <unsigned BitsPerPixel>
class PlaneWriter {
  static_assert(BitsPerPixel == 1 || BitsPerPixel == 2);

 public:
  static constexpr uint32_t kPixelsPerByte = 8 / BitsPerPixel;

  PlaneWriter() = default;
  // bitOffset must be below kPixelsPerByte (the dispatcher refuses others).
  PlaneWriter(uint8_t* destination, uint32_t bitOffset)
      : out_(destination), used_(bitOffset * BitsPerPixel) {
    if (used_ != 0) accumulator_ = destination[0] & static_cast<uint8_t>(0xFF00u >> used_);
  }

  // Appends one pixel's code (0 or 1; 0 to 3 for two-bit output).
  void put(uint32_t code) {
    used_ += BitsPerPixel;
    accumulator_ |= code << (8 - used_);
    if (used_ == 8) {
      *out_++ = static_cast<uint8_t>(accumulator_);
      accumulator_ = 0;
      used_ = 0;
    }
  }

  // Stores a partly filled last byte.
  void finish() {
    if (used_ != 0) *out_ = static_cast<uint8_t>(accumulator_);
  }

  // Bits of the current byte already filled, and the byte pointer.
  uint32_t usedBits() const { return used_; }
  uint8_t* position() const { return out_; }

 private:
  uint8_t* out_ = nullptr;
  uint32_t accumulator_ = 0;
  uint32_t used_ = 0;
};

using BitWriter = PlaneWriter<1>;
using DotCodeWriter = PlaneWriter<2>;

}  // namespace kestrl::halftone
