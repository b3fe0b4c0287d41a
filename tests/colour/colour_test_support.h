// Shared helpers of the colour tests: a job built from the pack builders and
// driven through the exported calls.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "colour/cm_context.h"
#include "kestrl30.h"
#include "pack/colour_blocks.h"

namespace kestrl::colour::testing {

// A print mode that the standard directory below serves.
inline PrintMode standardMode() {
  PrintMode mode{};
  mode.mode = 3;
  mode.colorMethod = 0;
  mode.inkSet = 4;
  mode.colorInput = 1;
  mode.xResolution = 720;
  mode.yResolution = 720;
  mode.bitsPerPixel = 1;
  mode.lineWidth = 64;
  return mode;
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

// A tag list with room for a few pairs.
struct TagList {
  int32_t count = 0;
  CmTagPair pairs[4] = {};

  void add(uint32_t tag, const void* value) { pairs[count++] = {tag, value}; }
  const CmTagList* get() const { return reinterpret_cast<const CmTagList*>(this); }
};

// Runs CmNew and stages 1 and 2. Returns the stage-2 status.
struct Job {
  CmContext* context = nullptr;
  int32_t nextId = 0;

  Status start(const ColorSettings& settings, const PrintMode& mode, const std::string& directory,
               const std::vector<uint8_t>& table) {
    int32_t firstId = -1;
    Status status = static_cast<Status>(CmNew(&settings, &mode, 0, &firstId, &context));
    if (status != kOk) return status;
    status = static_cast<Status>(CmSetResource(context, directory.c_str(), &nextId));
    if (status != kOk) return status;
    return static_cast<Status>(CmSetResource(context, table.data(), &nextId));
  }
  CmLut& lut() const { return *CmGetLut(context); }
  std::vector<uint8_t> grid() const {
    const CmLut& l = lut();
    const size_t size =
        size_t(l.gridPoints[0]) * l.gridPoints[1] * l.gridPoints[2] * l.channelCount;
    return std::vector<uint8_t>(l.gridData, l.gridData + size);
  }
  ~Job() {
    if (context != nullptr) CmDelete(context);
  }
};

// A four-ink table of n points with distinct, non-linear node values.
inline pack::ColourTable scrambledTable(uint32_t points) {
  return pack::makeColourTable(points, 4, [](uint8_t r, uint8_t g, uint8_t b, uint8_t* out) {
    out[0] = static_cast<uint8_t>(r * 7 + g * 3 + b);
    out[1] = static_cast<uint8_t>(r ^ (g * 5) ^ b);
    out[2] = static_cast<uint8_t>(255 - b + g / 3);
    out[3] = static_cast<uint8_t>((r + g + b) / 3);
  });
}

}  // namespace kestrl::colour::testing

namespace kestrl::colour::testing {

// A context whose record was loaded straight from a block, with the pixel
// layout the stages use; no adjustment pass.
struct LoadedTable {
  CmContext* context = nullptr;
  std::vector<uint8_t> block;
  Status status = kOk;

  LoadedTable(std::vector<uint8_t> bytes, ColorSettings settings = standardSettings(),
              PrintMode mode = standardMode());
  CmLut& lut() const { return *context->lut; }
  ~LoadedTable() { CmDelete(context); }
};

}  // namespace kestrl::colour::testing
