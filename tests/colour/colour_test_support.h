// Shared helpers of the colour tests: jobs built from the pack builders and
// driven through the exported calls (or loaded straight from a table block),
// and a fault-plan wrapper.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "block_job.h"
#include "colour/cm_context.h"
#include "colour/colour_table.h"
#include "colour/grid_lookup.h"
#include "kestrl30.h"
#include "memory/fault_injection.h"
#include "pack/colour_blocks.h"

namespace kestrl::colour::testing {

using memory::testing::FaultPlan;
using memory::testing::Operation;
using memory::testing::ScopedFaultPlan;

// Mode 3, one bit, four inks, 64 pixels a line.
inline PrintMode standardMode() {
  return pack::fourInkMode(3, 64);
}

inline ColorSettings standardSettings() {
  ColorSettings settings{};
  settings.colorClass = 1;
  settings.greyStyle = 50;
  return settings;
}

// Mode names put "mode3" at position 3; class names put "photo" at 1.
inline pack::DirectoryText standardDirectory(int32_t tableId = 17, int32_t code = 211) {
  pack::DirectoryText d;
  d.modeNames = {"none", "mode1", "mode2", "mode3"};
  d.selectNames = {"P0", "P1"};
  d.classNames = {"plain", "photo", "two", "three", "corrected"};
  d.entries = {{tableId, code, "mode3", "P0", 720, 720, "photo", 0, 1}};
  return d;
}

// A tag list with room for a few pairs; `settings` points a copy at it.
struct TagList {
  int32_t count = 0;
  CmTagPair pairs[4] = {};

  TagList() = default;
  TagList(uint32_t tag, const void* value) { add(tag, value); }
  void add(uint32_t tag, const void* value) { pairs[count++] = {tag, value}; }
  const CmTagList* get() const { return reinterpret_cast<const CmTagList*>(this); }
  ColorSettings settings(ColorSettings base = standardSettings()) const {
    base.tagList = get();
    return base;
  }
};

// CmNew and the stages after it through the exported calls.
struct Job : pack::ColourJob {
  Status begin(const ColorSettings& settings, const PrintMode& mode = standardMode()) {
    return ColourJob::begin(settings, mode);
  }
  using ColourJob::start;
  Status start(const ColorSettings& settings, const pack::ColourTable& table,
               const pack::DirectoryText& directory = standardDirectory()) {
    return start(settings, standardMode(), pack::buildDirectory(directory),
                 pack::buildColourTable(table));
  }
  // CmNew and the colour table block of known size loaded straight into the
  // record, as stage 2 does for the standard directory's entry (no adjustment
  // pass), with the pixel layout the stages use.
  Status load(const std::vector<uint8_t>& table, const ColorSettings& settings = standardSettings(),
              const PrintMode& mode = standardMode()) {
    EXPECT_EQ(begin(settings, mode), kOk);
    context->entryId = 17;
    context->entryCode = 211;
    context->pixelStride = kPixelStride;
    for (int i = 0; i < 3; ++i) context->pixelOffset[i] = kPixelOffsets[i];
    return loadColourTable(*context, ByteReader(table.data(), table.size()));
  }
  CmLut& lut() const { return *CmGetLut(context); }
  std::vector<uint8_t> grid() const {
    const CmLut& l = lut();
    return {l.gridData, l.gridData + size_t(l.gridPoints[0]) * l.gridPoints[1] * l.gridPoints[2] *
                                         l.channelCount};
  }
};

// Runs `body` with call `call` of `op` failing (0: none), then checks that
// nothing is left allocated.
template <typename Body>
void withFault(Operation op, uint32_t call, Body body) {
  FaultPlan plan;
  {
    ScopedFaultPlan scope(plan);
    if (call != 0) plan.failOn(op, call);
    body();
  }
  EXPECT_EQ(plan.liveAllocations, 0) << "call " << call;
}

inline Status failedStatus(Operation op) {
  return op == Operation::kAllocate ? kAllocFailed : kLockFailed;
}

// A four-ink table of n points with distinct, non-linear node values.
inline pack::ColourTable scrambledTable(uint32_t points) {
  return pack::makeColourTable(points, 4, [](uint8_t r, uint8_t g, uint8_t b, uint8_t* out) {
    out[0] = static_cast<uint8_t>(r * 7 + g * 3 + b);
    out[1] = static_cast<uint8_t>(r ^ (g * 5) ^ b);
    out[2] = static_cast<uint8_t>(255 - b + g / 3);
    out[3] = static_cast<uint8_t>((r + g + b) / 3);
  });
}

// Byte-vector shorthand for comparing node values.
inline std::vector<uint8_t> bytes(const uint8_t* at, size_t n) {
  return {at, at + n};
}

}  // namespace kestrl::colour::testing
