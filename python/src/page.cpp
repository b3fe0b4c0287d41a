#include "page.h"

namespace kestrl::python {

namespace {

size_t packedBytes(const HalftoneJob& job, uint32_t pixels) {
  return (size_t{pixels} + job.dotsPerByte() - 1) / job.dotsPerByte();
}

// Unpacks one line's packed rows (planeStride apart) into the dot layout.
void unpackLine(const HalftoneJob& job, const uint8_t* rows, size_t planeStride, uint32_t count,
                uint8_t* firstDot, const DotLayout& dots) {
  for (uint32_t k = 0; k < job.planes(); ++k) {
    unpackDots(rows + k * planeStride, job.bitsPerDot(), count, firstDot + k * dots.planeSize);
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
  std::vector<uint8_t> rows(dots.packed ? 0 : rowBytes * job.planes());
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
  std::vector<uint8_t> rows(rowBytes * job.planes() + 1);
  const uint32_t status =
      job.run(source, rows.data(), static_cast<uint32_t>(rowBytes), 0, count, startX, line);
  if (status == KESTRL_STATUS_OK) unpackLine(job, rows.data(), rowBytes, count, dots.data, dots);
  return status;
}

}  // namespace kestrl::python
