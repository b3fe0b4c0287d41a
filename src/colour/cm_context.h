// The colour-management context: one job's settings, print mode, stage of
// the resource loading and the colour table record it builds.
#pragma once

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
};

namespace kestrl::colour {

// Table classes that the context derives and the directory matches.
inline constexpr int32_t kColorClassCorrected = 2;  // colorClass that stands for table class 4
inline constexpr int16_t kTableClassCorrected = 4;
inline constexpr int32_t kOverrideComposite = 1;  // classOverride: class 4, composite grey
inline constexpr int32_t kOverridePlain = 4;      // classOverride: class 0

// Creates a context. Writes 0 to firstId first, even when allocation fails.
// Null record pointers are the caller's fault and are not detected.
Status cmNew(const ColorSettings* settings, const PrintMode* printMode, uint32_t reserved,
             int32_t* firstId, CmContext** context);

// The context's colour table record.
CmLut* cmGetLut(CmContext* context);

// Releases the grid, the extra section, any calibration state left by a
// sequence that was stopped early, the record and the context. Always kOk.
Status cmDelete(CmContext* context);

// The value of the first pair with the tag, or null (also for a null list or
// a count of 0 or below).
const void* findTag(const CmTagList* list, uint32_t tag);

}  // namespace kestrl::colour
