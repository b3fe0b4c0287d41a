#include "pack/linearisation.h"

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <string>
#include <vector>

#include "pack/job.h"

namespace kestrl::pack {

namespace {

// A patch is as wide as the widest threshold matrix and, after the lines an
// error-spreading engine needs to settle from the patch above, as tall as
// the tallest one, so that ordered dither is measured over whole tiles.
constexpr uint32_t kPatchWidth = 128;
constexpr uint32_t kSettleLines = 16;
constexpr uint32_t kCountedLines = 64;
constexpr uint32_t kPatchLines = kSettleLines + kCountedLines;
constexpr uint32_t kTablePoints = 17;

// Thirds of full ink in a packed byte: a one-bit dot is 3, a two-bit dot its code.
uint32_t byteThirds(uint8_t byte, uint32_t bits) {
  if (bits == 1) return 3 * static_cast<uint32_t>(std::popcount(byte));
  return (byte & 3u) + (byte >> 2 & 3u) + (byte >> 4 & 3u) + (byte >> 6 & 3u);
}

// The frame's header with a grid whose node (r, g, b) is node(r, g, b).
std::vector<uint8_t> measuringTable(const ColourTable& frame, const NodeFunction& node) {
  ColourTable t = makeColourTable(kTablePoints, 4, node);
  t.tableFlag = frame.tableFlag;
  t.lutKind = frame.lutKind;
  t.scaleParams = frame.scaleParams;
  t.extra = frame.extra;
  return buildColourTable(t);
}

// Prints one flat patch per measured value, each line `source(value)`
// repeated, and sums the ink of `plane` over the counted lines.
template <typename Source>
InkResponse measure(const Pack& pack, const MeasuredJob& job, bool colour, uint32_t plane,
                    Source source) {
  const PrintMode mode{job.mode,
                       0,
                       colour ? 1u : 0u,
                       colour ? 1u : 0u,
                       job.xResolution,
                       job.yResolution,
                       job.bits,
                       0,
                       0,
                       kPatchWidth,
                       0};
  HalftoneContext* context = nullptr;
  const uint32_t opened = openHalftoneJob(pack, mode, &context);
  const auto fail = [&](const std::string& what, uint32_t status) {
    if (context) HalftoneDelete(context);
    throw std::runtime_error("measuring the ink of mode " + std::to_string(job.mode) + ", " +
                             std::to_string(job.bits) + "-bit: " + what + " answered status " +
                             std::to_string(status));
  };
  if (opened != KESTRL_STATUS_OK) fail("opening the job", opened);
  const uint32_t channels = colour ? 3 : 1;
  const size_t rowBytes = (kPatchWidth * job.bits + 7) / 8;
  std::vector<uint8_t> line(size_t{kPatchWidth} * channels), dots(rowBytes * 4);
  InkResponse response;
  response.pixels = uint64_t{kPatchWidth} * kCountedLines;
  uint32_t y = 0;
  for (uint32_t step = 0; step < InkResponse::kSteps; ++step) {
    const std::vector<uint8_t> pixel = source(InkResponse::value(step));
    for (uint32_t x = 0; x < kPatchWidth; ++x)
      std::copy(pixel.begin(), pixel.end(), &line[size_t{x} * channels]);
    for (uint32_t i = 0; i < kPatchLines; ++i, ++y) {
      std::fill(dots.begin(), dots.end(), 0);
      const uint32_t status =
          Halftone(context, line.data(), dots.data(), static_cast<uint32_t>(rowBytes), 0,
                   kPatchWidth, 0, 0, y, 0, 0);
      if (status != KESTRL_STATUS_OK) fail("Halftone", status);
      if (i < kSettleLines) continue;
      for (size_t b = 0; b < rowBytes; ++b)
        response.thirds[step] += byteThirds(dots[plane * rowBytes + b], job.bits);
    }
  }
  HalftoneDelete(context);
  return response;
}

}  // namespace

std::array<InkResponse, 4> measureColourResponse(Pack pack, int32_t tableId,
                                                 const ColourTable& frame, const MeasuredJob& job) {
  std::array<InkResponse, 4> responses;
  // C, M and Y as the complements of R, G and B, no black.
  pack.put(tableId, measuringTable(frame, [](uint8_t r, uint8_t g, uint8_t b, uint8_t* out) {
             out[0] = static_cast<uint8_t>(255 - r);
             out[1] = static_cast<uint8_t>(255 - g);
             out[2] = static_cast<uint8_t>(255 - b);
             out[3] = 0;
           }));
  for (uint32_t c = 0; c < 3; ++c) {
    responses[c] = measure(pack, job, true, c, [c](uint8_t v) {
      std::vector<uint8_t> rgb(3, 255);
      rgb[c] = static_cast<uint8_t>(255 - v);
      return rgb;
    });
  }
  // Black alone as the complement of R.
  pack.put(tableId, measuringTable(frame, [](uint8_t r, uint8_t, uint8_t, uint8_t* out) {
             out[0] = out[1] = out[2] = 0;
             out[3] = static_cast<uint8_t>(255 - r);
           }));
  responses[3] = measure(pack, job, true, 3, [](uint8_t v) {
    return std::vector<uint8_t>{static_cast<uint8_t>(255 - v), 255, 255};
  });
  return responses;
}

InkResponse measureGreyResponse(Pack pack, int32_t tableId, const ColourTable& frame,
                                const MeasuredJob& job) {
  // The neutral axis prints black alone: black 255 - v for grey v.
  pack.put(tableId, measuringTable(frame, [](uint8_t r, uint8_t, uint8_t, uint8_t* out) {
             out[0] = out[1] = out[2] = 0;
             out[3] = static_cast<uint8_t>(255 - r);
           }));
  return measure(pack, job, false, 0,
                 [](uint8_t v) { return std::vector<uint8_t>{static_cast<uint8_t>(255 - v)}; });
}

InkCurve inverseCurve(const InkResponse& response) {
  // Coverage in units of 1 / (3 * pixels * 255), made non-decreasing.
  std::array<uint64_t, InkResponse::kSteps> covered{};
  uint64_t highest = 0;
  for (uint32_t s = 0; s < InkResponse::kSteps; ++s) {
    highest = std::max(highest, response.thirds[s] * 255);
    covered[s] = highest;
  }
  const uint64_t full = 3 * response.pixels;
  InkCurve curve{};
  uint32_t s = 0;
  for (uint32_t t = 1; t < 256; ++t) {
    const uint64_t target = t * full;
    while (s + 1 < InkResponse::kSteps && covered[s + 1] < target) ++s;
    if (s + 1 == InkResponse::kSteps) {
      curve[t] = 255;  // the engine never reaches the target: full ink
      continue;
    }
    const uint64_t low = covered[s], high = covered[s + 1];
    const uint32_t v0 = InkResponse::value(s), v1 = InkResponse::value(s + 1);
    const uint64_t span = high - low;
    const uint64_t offset = target > low ? target - low : 0;
    const uint64_t v = span == 0 ? v1 : v0 + ((v1 - v0) * offset * 2 + span) / (2 * span);
    curve[t] = static_cast<uint8_t>(std::max<uint64_t>(std::min<uint64_t>(v, 255), curve[t - 1]));
  }
  return curve;
}

}  // namespace kestrl::pack
