// The colour-management context: one job's settings, print mode, stage of
// the resource loading and the colour table record it builds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/status.h"
#include "kestrl30.h"

namespace kestrl::colour {
struct CalibrationState;  // the state of a running calibration sequence
}  // namespace kestrl::colour

// Declared opaque in the public header.
struct CmContext {
  void* contextBlock;
  ColorSettings settings;
  PrintMode printMode;
  uint32_t stage;
  CmLut* lut;
  void* lutBlock;
  kestrl::colour::CalibrationState* calibration;
  int16_t tableClass;
  uint16_t tableFlag;
  int16_t pixelStride;
  int16_t pixelOffset[3];
  int16_t peakReduce[3];
  int16_t pairReduce[3];
  int16_t hueShift[3];
  int16_t saturationShift;
  int32_t entryId;
  int32_t entryCode;
  // The status of the adjustment pass of stage 2, which the stage does not
  // report (the grid then stays as loaded); CmGetAdjustStatus hands it out.
  uint32_t adjustStatus;
};

namespace kestrl::colour {

// Table classes that the context derives and the directory matches.
inline constexpr int32_t kColorClassCorrected = 2;  // colorClass that stands for table class 4
inline constexpr int16_t kTableClassCorrected = 4;
inline constexpr int32_t kOverrideComposite = 1;  // classOverride: class 4, composite grey
inline constexpr int32_t kOverridePlain = 4;      // classOverride: class 0

// Creates a context: kBadParameter, with nothing written, when any pointer
// argument is null. Otherwise writes 0 to firstId first, even when
// allocation fails.
Status cmNew(const ColorSettings* settings, const PrintMode* printMode, uint32_t reserved,
             int32_t* firstId, CmContext** context);

// The context's colour table record; null for a null context.
CmLut* cmGetLut(CmContext* context);

// The status of the adjustment pass of stage 2 (0 before it and on success);
// kBadParameter for a null context.
Status cmGetAdjustStatus(const CmContext* context);

// Releases the grid, the extra section, any calibration state left by a
// sequence that was stopped early, the record and the context. Always kOk,
// except kBadParameter for a null context.
Status cmDelete(CmContext* context);

// A tag's value and the bytes it may be read in: unknown (the value is
// trusted) unless the caller gave the value with its size.
struct TagValue {
  const void* data = nullptr;
  size_t size = 0;
  bool sizeKnown = false;

  // True when the value is there and holds at least `bytes` bytes.
  bool holds(size_t bytes) const { return data != nullptr && (!sizeKnown || bytes <= size); }
};

// The value of the first pair with the tag, either plain or marked
// KESTRL_TAG_SIZED (its value then a CmSizedValue); empty for a null list, a
// count of 0 or below, or no such pair.
TagValue findTagValue(const CmTagList* list, uint32_t tag);

// The value of the first pair with the tag, or null (also for a null list or
// a count of 0 or below).
const void* findTag(const CmTagList* list, uint32_t tag);

}  // namespace kestrl::colour
