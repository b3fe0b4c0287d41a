// Halftoning whole pages and single runs from NumPy-shaped memory: a source
// described by its strides, read in place when each line's samples lie side
// by side and gathered into a line buffer otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "pack/job.h"

namespace kestrl::python {

// Where a source's samples are: line y, sample x, byte c at
// data + y * lineStride + x * sampleStride + c * byteStride.
struct SourceLayout {
  const uint8_t* data = nullptr;
  ptrdiff_t lineStride = 0;
  ptrdiff_t sampleStride = 0;
  ptrdiff_t byteStride = 1;
  uint32_t samples = 0;      // per line
  uint32_t sampleBytes = 1;  // bytes of one sample
};

// Hands out each source line as contiguous bytes: in place when the layout
// allows, else copied into its own buffer.
class LineReader {
 public:
  explicit LineReader(const SourceLayout& layout);
  const uint8_t* line(uint32_t y);
  bool inPlace() const { return inPlace_; }

 private:
  SourceLayout layout_;
  bool inPlace_;
  std::vector<uint8_t> buffer_;
};

// Where the dots go: plane k, line y, dot x at
// data + k * planeSize + y * lineSize (+ x as a byte, or packed).
struct DotLayout {
  uint8_t* data = nullptr;
  size_t planeSize = 0;
  size_t lineSize = 0;
  bool packed = false;  // the library's packed rows rather than one byte a dot
};

// The first failing call of a page: its status and line.
struct PageResult {
  uint32_t status = 0;
  uint32_t line = 0;
};

// Halftones `lines` lines of job.mode().lineWidth pixels, one Halftone call
// a line with line numbers 0, 1, ..., as a driver prints a page. Allocates
// nothing per line; the caller releases the interpreter lock around it.
PageResult halftonePage(const pack::HalftoneJob& job, const SourceLayout& source, uint32_t lines,
                        const DotLayout& dots);

// One run of `count` pixels at startX on line `line`, into count dots a plane.
uint32_t halftoneRun(const pack::HalftoneJob& job, const uint8_t* source, uint32_t count,
                     uint32_t startX, uint32_t line, const DotLayout& dots);

}  // namespace kestrl::python
