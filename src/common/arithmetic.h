// Fixed-width integer arithmetic with deliberate two's-complement wrapping.
//
// The dot data must be reproduced bit for bit, and parts of the arithmetic
// overflow 32 or 16 bits on purpose (tone curves with brightness and contrast
// both high; error cells that are added to without bound). Signed overflow is
// undefined in C++, so every such operation goes through these helpers, which
// compute in unsigned arithmetic and convert back (well-defined since C++20).
#pragma once

#include <cstdint>

namespace kestrl {

constexpr int32_t wrapAdd(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

constexpr int32_t wrapSub(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

constexpr int32_t wrapMul(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// Keeps the low 16 bits of a value as a signed 16-bit number.
constexpr int16_t wrap16(int32_t value) {
  return static_cast<int16_t>(static_cast<uint16_t>(value));
}

// Adds to a signed 16-bit cell, wrapping within 16 bits.
constexpr void addWrapped16(int16_t& cell, int32_t amount) {
  cell = wrap16(static_cast<int32_t>(static_cast<uint32_t>(cell) + static_cast<uint32_t>(amount)));
}

}  // namespace kestrl
