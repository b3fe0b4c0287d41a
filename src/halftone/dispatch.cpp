#include <array>

#include "halftone/engine.h"

namespace kestrl::halftone {

namespace {

enum class Depth : uint8_t { kTwoBit, kOneBit };
enum class ModeIs : uint8_t { k0, k1, k3, kAny };
enum class InputIs : uint8_t { kColour, kGrey, kAny };
enum class Further : uint8_t {
  kNone,
  k1440x720,
  kDoubleVertical,
  kDiffusedMethod,     // colorMethod 0 or 2
  kUndiffusedMethod,   // any other colorMethod
  kCacheable1440x720,  // inkSet not 4, sourceStep not -1, 1440 x 720
  kCacheable,          // inkSet not 4, sourceStep not -1
};

struct SelectionRow {
  Depth depth;
  ModeIs mode;
  InputIs input;
  Further further;
  EngineId engine;
};

using enum EngineId;

// First matching row wins.
constexpr SelectionRow kSelectionTable[] = {
    {Depth::kTwoBit, ModeIs::k3, InputIs::kColour, Further::kNone, kDitherColorFourLevel},
    {Depth::kTwoBit, ModeIs::k3, InputIs::kGrey, Further::kNone, kDitherFourLevel},
    {Depth::kTwoBit, ModeIs::k1, InputIs::kColour, Further::k1440x720, kDiffuseFourLevel1440},
    {Depth::kTwoBit, ModeIs::k1, InputIs::kColour, Further::kNone, kDiffuseFourLevel},
    {Depth::kTwoBit, ModeIs::k1, InputIs::kGrey, Further::k1440x720, kScreenFourLevel1440},
    {Depth::kTwoBit, ModeIs::k1, InputIs::kGrey, Further::kNone, kScreenFourLevel},
    {Depth::kTwoBit, ModeIs::kAny, InputIs::kAny, Further::kNone, kNone},
    {Depth::kOneBit, ModeIs::k3, InputIs::kGrey, Further::kNone, kDitherBilevel},
    {Depth::kOneBit, ModeIs::k3, InputIs::kColour, Further::kUndiffusedMethod, kScreenColorBilevel},
    {Depth::kOneBit, ModeIs::k3, InputIs::kColour, Further::kDiffusedMethod,
     kScreenColorBilevelDiffused},
    {Depth::kOneBit, ModeIs::k0, InputIs::kGrey, Further::kNone, kDitherBilevel},
    {Depth::kOneBit, ModeIs::k0, InputIs::kColour, Further::kNone, kScreenColorCorners},
    {Depth::kOneBit, ModeIs::kAny, InputIs::kGrey, Further::kDoubleVertical,
     kScreenBilevelDoubleVertical},
    {Depth::kOneBit, ModeIs::kAny, InputIs::kGrey, Further::k1440x720, kScreenBilevel1440},
    {Depth::kOneBit, ModeIs::kAny, InputIs::kGrey, Further::kNone, kScreenBilevel},
    {Depth::kOneBit, ModeIs::kAny, InputIs::kColour, Further::kDoubleVertical,
     kDiffuseBilevelDoubleVertical},
    {Depth::kOneBit, ModeIs::kAny, InputIs::kColour, Further::kCacheable1440x720,
     kDiffuseBilevelCached1440},
    {Depth::kOneBit, ModeIs::kAny, InputIs::kColour, Further::kCacheable, kDiffuseBilevelCached},
    {Depth::kOneBit, ModeIs::kAny, InputIs::kColour, Further::k1440x720, kDiffuseBilevel1440},
    {Depth::kOneBit, ModeIs::kAny, InputIs::kColour, Further::kNone, kDiffuseBilevel},
};

// Indexed by EngineId: each engine and the tables it reads.
constexpr uint32_t kNeedsScreenBilevel = kNeedsMatrix | kNeedsToneCurve | kNeedsDotValue;
constexpr uint32_t kNeedsColourDiffusion = kNeedsMatrix | kNeedsColourGrid | kNeedsDotValue;
constexpr uint32_t kNeedsFourLevelColour = kNeedsColourDiffusion | kNeedsDotTable;
constexpr uint32_t kNeedsScreenFourLevel =
    kNeedsMatrix | kNeedsLevelTable | kNeedsPaddedCurve | kNeedsDotValue | kNeedsDotTable;
constexpr uint32_t kNeedsDitherFourLevel =
    kNeedsMatrix | kNeedsLevelTable | kNeedsPaddedCurve | kNeedsDotTable;
constexpr std::array<EngineDescriptor, kEngineCount> kEngineDescriptors = {{
    {ditherColorFourLevel, kNeedsFourLevelColour, prepareFourLevelColour},
    {ditherFourLevel, kNeedsDitherFourLevel, prepareDitherFourLevel},
    {diffuseFourLevel1440, kNeedsFourLevelColour, prepareDiffuseFourLevel1440},
    {diffuseFourLevel, kNeedsFourLevelColour, prepareDiffuseFourLevel},
    {screenFourLevel1440, kNeedsScreenFourLevel, prepareScreenFourLevel1440},
    {screenFourLevel, kNeedsScreenFourLevel, prepareScreenFourLevel},
    {ditherBilevel, kNeedsMatrix | kNeedsLevelTable, nullptr},
    {screenColorBilevel, kNeedsColourDiffusion, prepareColourScreen},
    {screenColorBilevelDiffused, kNeedsColourDiffusion, prepareColourScreenDiffused},
    {screenColorCorners, kNeedsMatrix | kNeedsLevelTable | kNeedsCornerGrid,
     prepareScreenColorCorners},
    {screenBilevelDoubleVertical, kNeedsScreenBilevel, prepareScreenBilevelDoubleVertical},
    {screenBilevel1440, kNeedsScreenBilevel, prepareScreenBilevel1440},
    {screenBilevel, kNeedsScreenBilevel, prepareScreenBilevel},
    {diffuseBilevelDoubleVertical, kNeedsColourDiffusion, prepareDiffuseBilevelDoubleVertical},
    {diffuseBilevelCached1440, kNeedsColourDiffusion, prepareDiffuseBilevelCached1440},
    {diffuseBilevelCached, kNeedsColourDiffusion, prepareDiffuseBilevelCached},
    {diffuseBilevel1440, kNeedsColourDiffusion, prepareDiffuseBilevel1440},
    {diffuseBilevel, kNeedsColourDiffusion, prepareDiffuseBilevel},
}};

constexpr const char* kEngineNames[] = {
    "DitherColorFourLevel",
    "DitherFourLevel",
    "DiffuseFourLevel1440",
    "DiffuseFourLevel",
    "ScreenFourLevel1440",
    "ScreenFourLevel",
    "DitherBilevel",
    "ScreenColorBilevel",
    "ScreenColorBilevelDiffused",
    "ScreenColorCorners",
    "ScreenBilevelDoubleVertical",
    "ScreenBilevel1440",
    "ScreenBilevel",
    "DiffuseBilevelDoubleVertical",
    "DiffuseBilevelCached1440",
    "DiffuseBilevelCached",
    "DiffuseBilevel1440",
    "DiffuseBilevel",
};

bool is1440x720(const PrintMode& m) {
  return m.xResolution == 1440 && m.yResolution == 720;
}

bool matches(const SelectionRow& row, const PrintMode& m) {
  const bool twoBit = m.bitsPerPixel == 2;
  if (twoBit != (row.depth == Depth::kTwoBit)) return false;
  if (row.mode == ModeIs::k0 && m.mode != 0) return false;
  if (row.mode == ModeIs::k1 && m.mode != 1) return false;
  if (row.mode == ModeIs::k3 && m.mode != 3) return false;
  if (row.input == InputIs::kColour && m.colorInput == 0) return false;
  if (row.input == InputIs::kGrey && m.colorInput != 0) return false;
  const bool cacheable = m.inkSet != kInkSetFromSource && m.sourceStep != -1;
  // clang-format off
  switch (row.further) {
    case Further::kNone: return true;
    case Further::k1440x720: return is1440x720(m);
    case Further::kDoubleVertical: return m.xResolution * 2 == m.yResolution;
    case Further::kDiffusedMethod: return m.colorMethod == 0 || m.colorMethod == 2;
    case Further::kUndiffusedMethod: return m.colorMethod != 0 && m.colorMethod != 2;
    case Further::kCacheable1440x720: return cacheable && is1440x720(m);
    case Further::kCacheable: return cacheable;
  }
  // clang-format on
  return false;
}

}  // namespace

EngineId selectEngine(const PrintMode& mode) {
  for (const SelectionRow& row : kSelectionTable) {
    if (matches(row, mode)) return row.engine;
  }
  return kNone;
}

const EngineDescriptor& engineDescriptor(EngineId id) {
  return kEngineDescriptors[static_cast<int>(id)];
}

const char* engineName(EngineId id) {
  return id == kNone ? "none" : kEngineNames[static_cast<int>(id)];
}

namespace {

// Bytes an engine may touch for an empty run: at most two source pixels of
// four inks, and the first byte of a plane.
constexpr size_t kEmptyRunScratch = 8;

// An empty run still goes to its engine, whose checks and line state hold
// for it as for any run. A null source or destination is replaced by scratch
// (the planes all on one byte), so that no engine offsets a null pointer and
// a first byte rewritten at a non-zero bitOffset lands in the scratch.
Status runEngine(const EngineSetup& setup, RunState& state, const HalftoneRun& run) {
  if (run.pixelCount != 0 || (run.source != nullptr && run.destination != nullptr)) {
    return setup.engine(setup.tables, state, run);
  }
  uint8_t scratch[kEmptyRunScratch] = {};
  HalftoneRun empty = run;
  if (empty.source == nullptr) empty.source = scratch;
  if (empty.destination == nullptr) {
    empty.destination = scratch;
    empty.planeStride = 0;
  }
  return setup.engine(setup.tables, state, empty);
}

}  // namespace

// A null context, or a null source or destination for a run of pixels, is
// refused with kBadParameter before anything else. A bitOffset that does not
// name a pixel inside the first byte is refused with kBadParameter before
// any engine runs: there is no such position to pack to, and nothing is
// written.
Status halftone(HalftoneContext* context, const HalftoneRun& run) {
  if (context == nullptr) return kBadParameter;
  if (run.pixelCount != 0 && (run.source == nullptr || run.destination == nullptr)) {
    return kBadParameter;
  }
  if (const Status status = checkRun(context->printMode.lineWidth, run); status != kOk) {
    return status;
  }
  const EngineSetup& setup = context->setup;
  if (setup.engine == nullptr) return kUnsupportedMode;
  if (run.bitOffset >= setup.pixelsPerByte) return kBadParameter;
  RunState state = {context->lastLine, context->lastRunEnd};
  const Status status = runEngine(setup, state, run);
  context->lastLine = state.lastLine;
  context->lastRunEnd = state.lastRunEnd;
  return status;
}

}  // namespace kestrl::halftone
