// Test support for the ordered-dither and colour-corner engines: a context
// whose tables are set directly, and a bit-by-bit packing reference.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "halftone/engine.h"
#include "halftone/halftone_context.h"
#include "memory/memory.h"

namespace kestrl::halftone::testing {

class EngineContext {
 public:
  EngineContext(const PrintMode& mode, uint32_t width, uint32_t height,
                const std::vector<uint16_t>& cells, const std::vector<uint16_t>& levels) {
    context.printMode = mode;
    context.matrixWidth = width;
    context.matrixHeight = height;
    context.matrixCells = static_cast<uint16_t>(width * height);
    set(kThresholdMatrixBlock, cells);
    set(kLevelTableBlock, levels);
  }
  ~EngineContext() { memory::releaseAll(context.blocks); }
  EngineContext(const EngineContext&) = delete;
  EngineContext& operator=(const EngineContext&) = delete;

  template <typename T>
  void set(size_t index, const std::vector<T>& values) {
    const auto bytes = static_cast<uint32_t>(values.size() * sizeof(T));
    MemoryBlock& block = context.blocks[index];
    if (block.allocation != nullptr) memory::free(block.allocation);
    block = {};
    ASSERT_EQ(memory::allocateInto(block, memory::roundUpTo4(bytes), false), kOk);
    std::memcpy(block.data, values.data(), bytes);
  }

  Status run(Engine engine, const uint8_t* source, uint8_t* destination, uint32_t pixelCount,
             uint32_t startX, uint32_t lineNumber, uint32_t bitOffset = 0, uint32_t planeStride = 0,
             uint32_t reserved10 = 0) {
    HalftoneRun r{};
    r.source = source;
    r.destination = destination;
    r.planeStride = planeStride;
    r.bitOffset = bitOffset;
    r.pixelCount = pixelCount;
    r.startX = startX;
    r.lineNumber = lineNumber;
    r.reserved10 = reserved10;
    return engine(context, r);
  }

  HalftoneContext context{};
};

// Bit by bit: pixel p of the run goes to the bits counted from the most
// significant end, starting bitOffset pixels into the first byte; the bits
// before it stay, the rest of every touched byte is rewritten.
inline std::vector<uint8_t> packByHand(std::vector<uint8_t> bytes,
                                       const std::vector<uint32_t>& codes, uint32_t bitOffset,
                                       uint32_t bitsPerPixel) {
  const size_t first = bitOffset * bitsPerPixel;
  const size_t end = first + codes.size() * bitsPerPixel;
  for (size_t bit = first; bit < (end + 7) / 8 * 8; ++bit) {
    const size_t pixel = (bit - first) / bitsPerPixel;
    const size_t within = (bit - first) % bitsPerPixel;
    const bool set = pixel < codes.size() && ((codes[pixel] >> (bitsPerPixel - 1 - within)) & 1);
    const auto mask = static_cast<uint8_t>(0x80 >> (bit % 8));
    bytes[bit / 8] = static_cast<uint8_t>(set ? (bytes[bit / 8] | mask) : (bytes[bit / 8] & ~mask));
  }
  return bytes;
}

}  // namespace kestrl::halftone::testing
