#include "colour/resource_stages.h"

#include "colour/adjustments.h"
#include "colour/calibration.h"
#include "colour/colour_table.h"
#include "colour/directory.h"
#include "colour/grid_lookup.h"

namespace kestrl::colour {

namespace {

constexpr int32_t kInkGainCodeFirst = 300;
constexpr int32_t kInkGainCodeLast = 399;
constexpr uint32_t kInkGainMode = 3;
constexpr uint32_t kInkGainMethodLimit = 2;

// Stage 1: the directory. Nothing fitting (or a directory beyond the limits)
// gives kBadResource with next id 0.
Status chooseColourTable(CmContext& context, ByteReader block, int32_t* nextId) {
  context.stage = 2;
  DirectoryChoice choice{};
  const Status status = lookUpDirectory(context, block, choice);
  if (status == kAllocFailed || status == kLockFailed) return status;
  *nextId = choice.found ? choice.entryId : 0;
  return *nextId == 0 ? kBadResource : kOk;
}

bool wantsWholeGridInkGain(const CmContext& context) {
  const int32_t code = context.lut->resourceCode;
  return code >= kInkGainCodeFirst && code <= kInkGainCodeLast &&
         context.printMode.colorMethod < kInkGainMethodLimit &&
         context.printMode.mode == kInkGainMode;
}

// Stage 2: the colour table, the adjustments, the grey ramp and the start of
// a calibration sequence.
Status buildColourTable(CmContext& context, ByteReader block, int32_t* nextId) {
  context.stage = 3;
  Status status = loadColourTable(context, block);
  if (status != kOk) return status;
  context.pixelStride = kPixelStride;
  for (int i = 0; i < 3; ++i) context.pixelOffset[i] = kPixelOffsets[i];
  // A failed adjustment pass leaves the grid as loaded and is not reported
  // by the stage; CmGetAdjustStatus tells a caller who asks.
  context.adjustStatus = adjustGrid(context);
  if (wantsWholeGridInkGain(context)) inkGainCorrectGrid(*context.lut);
  buildGreyRamp(context, *context.lut);
  status = setUpCalibration(context, nextId);
  if (status != kOk) return status;
  if (*nextId == -1) releaseCalibration(context);
  return kOk;
}

// Stages 3 to 6: the calibration steps; the last one rewrites the grid.
Status calibrate(CmContext& context, ByteReader block, int32_t* nextId) {
  ++context.stage;
  const Status status = runCalibrationStep(*context.calibration, block, nextId);
  if (status != kOk) return status;
  if (*nextId == -1) {
    applyCalibration(context);
    releaseCalibration(context);
  }
  return kOk;
}

}  // namespace

// After the stage that handed back -1 (stage 2 without calibration, or the
// last calibration stage), or after a failed stage 2, no calibration state
// exists: a further call is a stage after the last and is refused with
// kBadResource, leaving the context and nextId as they were. A null context
// or next-id word is refused with kBadParameter before any stage runs.
Status setResource(CmContext* context, ByteReader block, int32_t* nextId) {
  if (context == nullptr || nextId == nullptr) return kBadParameter;
  switch (context->stage) {
    case 1:
      return chooseColourTable(*context, block, nextId);
    case 2:
      return buildColourTable(*context, block, nextId);
    default:
      if (context->calibration == nullptr) return kBadResource;
      return calibrate(*context, block, nextId);
  }
}

}  // namespace kestrl::colour
