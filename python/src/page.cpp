#include "page.h"

#include <array>
#include <cstring>

namespace kestrl::python {

namespace {

using pack::HalftoneJob;

// One byte per dot for every packed byte: eight one-bit dots or four
// two-bit dots, most significant first.
template <uint32_t kBits>
struct UnpackTable {
  static constexpr uint32_t kDots = 8 / kBits;
  std::array<std::array<uint8_t, kDots>, 256> dots{};
  constexpr UnpackTable() {
    for (uint32_t byte = 0; byte < 256; ++byte) {
      for (uint32_t i = 0; i < kDots; ++i) {
        dots[byte][i] = static_cast<uint8_t>((byte >> (8 - kBits * (i + 1))) & ((1u << kBits) - 1));
      }
    }
  }
};

// Unpacks `count` dots from a packed plane row into one byte per dot.
template <uint32_t kBits>
void unpack(const uint8_t* packed, uint32_t count, uint8_t* dots) {
  static constexpr UnpackTable<kBits> kTable;
  constexpr uint32_t kDots = UnpackTable<kBits>::kDots;
  const uint32_t whole = count / kDots;
  for (uint32_t i = 0; i < whole; ++i, dots += kDots) {
    std::memcpy(dots, kTable.dots[packed[i]].data(), kDots);
  }
  if (const uint32_t rest = count % kDots; rest != 0) {
    std::memcpy(dots, kTable.dots[packed[whole]].data(), rest);
  }
}

size_t packedBytes(const HalftoneJob& job, uint32_t pixels) {
  const uint32_t dotsPerByte = 8 / pack::bitsPerDot(job.mode());
  return (size_t{pixels} + dotsPerByte - 1) / dotsPerByte;
}

// Unpacks one line's packed rows (planeStride apart) into the dot layout.
void unpackLine(const HalftoneJob& job, const uint8_t* rows, size_t planeStride, uint32_t count,
                uint8_t* firstDot, const DotLayout& dots) {
  const bool twoBits = pack::bitsPerDot(job.mode()) == 2;
  for (uint32_t k = 0; k < pack::planeCount(job.mode()); ++k) {
    uint8_t* planeDots = firstDot + k * dots.planeSize;
    twoBits ? unpack<2>(rows + k * planeStride, count, planeDots)
            : unpack<1>(rows + k * planeStride, count, planeDots);
  }
}

}  // namespace

LineReader::LineReader(const SourceLayout& layout)
    : layout_(layout),
      inPlace_(layout.byteStride == 1 &&
               (layout.samples <= 1 || layout.sampleStride == layout.sampleBytes)) {
  if (!inPlace_) buffer_.resize(size_t{layout.samples} * layout.sampleBytes);
}

const uint8_t* LineReader::line(uint32_t y) {
  const uint8_t* start = layout_.data + static_cast<ptrdiff_t>(y) * layout_.lineStride;
  if (inPlace_) return start;
  uint8_t* out = buffer_.data();
  for (uint32_t x = 0; x < layout_.samples; ++x) {
    const uint8_t* sample = start + static_cast<ptrdiff_t>(x) * layout_.sampleStride;
    for (uint32_t c = 0; c < layout_.sampleBytes; ++c) *out++ = sample[c * layout_.byteStride];
  }
  return buffer_.data();
}

PageResult halftonePage(const HalftoneJob& job, const SourceLayout& source, uint32_t lines,
                        const DotLayout& dots) {
  const uint32_t width = job.mode().lineWidth;
  LineReader reader(source);
  // Packed output goes straight to its place; unpacked output through one
  // line of packed rows.
  const size_t rowBytes = packedBytes(job, width);
  std::vector<uint8_t> rows(dots.packed ? 0 : rowBytes * pack::planeCount(job.mode()));
  for (uint32_t y = 0; y < lines; ++y) {
    uint8_t* lineDots = dots.data + y * dots.lineSize;
    uint8_t* destination = dots.packed ? lineDots : rows.data();
    const size_t planeStride = dots.packed ? dots.planeSize : rowBytes;
    const uint32_t status =
        job.run(reader.line(y), destination, static_cast<uint32_t>(planeStride), 0, width, 0, y);
    if (status != KESTRL_STATUS_OK) return {status, y};
    if (!dots.packed) unpackLine(job, rows.data(), rowBytes, width, lineDots, dots);
  }
  return {};
}

uint32_t halftoneRun(const HalftoneJob& job, const uint8_t* source, uint32_t count, uint32_t startX,
                     uint32_t line, const DotLayout& dots) {
  const size_t rowBytes = packedBytes(job, count);
  std::vector<uint8_t> rows(rowBytes * pack::planeCount(job.mode()) + 1);
  const uint32_t status =
      job.run(source, rows.data(), static_cast<uint32_t>(rowBytes), 0, count, startX, line);
  if (status == KESTRL_STATUS_OK) unpackLine(job, rows.data(), rowBytes, count, dots.data, dots);
  return status;
}

}  // namespace kestrl::python
