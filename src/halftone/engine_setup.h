// What a halftone context prepares for its engine when its resource stages
// finish, so that a Halftone call only checks its arguments and runs.
//
// Adding an engine
// ----------------
// 1. Write `Status myEngine(const EngineTables&, RunState&, const
//    HalftoneRun&)` in a file of its own under src/halftone/engines/, with a
//    `Variant` function that picks, from the print mode, the instance of the
//    engine for the mode's ink source, source step or plane count, so that no
//    run asks again. Name the variant in the engine's row of
//    kEngineDescriptors (dispatch.cpp), with the tables it reads (`Needs`)
//    and, if it wants a table derived once per context, a `Prepare` function.
// 2. Every table is in EngineTables, typed and sized: read `tables.levelTable`
//    and friends, never the context's block table. A view is empty when the
//    mode made no such table. Error line k is `tables.errorLines[k]`; its
//    `atPixel0()` is the cell of pixel 0, with kErrorLineMargin cells of margin
//    at negative indices and past the line's end.
// 3. Before the engine runs, the Halftone call has already refused a run that
//    ends past the line (kRunOutsideLine) or has reserved9 set
//    (kReserved9NotZero), a mode without an engine (kUnsupportedMode), and a
//    bitOffset that names no pixel of the first byte (kBadParameter).
// 4. The engine still makes its own checks, in its own order, before writing
//    anything: typically checkScreeningRun (reserved10, then the run checks
//    again, against tables.lineWidth), then kBadParameter when it needs error lines that the mode
//    did not make (`tables.errorLines[k].empty()`), then kBadResource unless `tables.ready` (every
//    stage succeeded and every table it needs is there). Engines never allocate; what they need per
//    context goes into EngineTables, filled by their Prepare function.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "common/status.h"
#include "halftone/kernels/cell_range.h"
#include "halftone/kernels/colour_tables.h"
#include "halftone/kernels/dot_thresholds.h"
#include "halftone/kernels/run.h"
#include "kestrl30.h"

namespace kestrl::halftone {

// Every table an engine reads, typed and sized, and what is derived from them
// once per context.
struct EngineTables {
  // Every stage up to the last one succeeded and every table the selected
  // engine reads is present.
  bool ready = false;

  // From the print mode: the pixels of a line and how the source is stepped.
  uint32_t lineWidth = 0;
  int32_t sourceStep = 0;

  // Stage 2: one of the three, by mode.
  std::span<const uint16_t> toneCurve;   // one-bit grey: 256 levels
  std::span<const int16_t> paddedCurve;  // two-bit grey: [0] the margin 2h, then the curve
  std::span<const uint8_t> colorGrid;    // colour input: the resampled grid, node after node
  // Stage 1: 0, 1 or 4 lines, by mode.
  std::array<ErrorLine, kErrorLineCount> errorLines;
  // Stage 3.
  std::span<const uint16_t> thresholdMatrix;  // matrixWidth x matrixHeight, row after row
  std::span<const uint16_t> levelTable;       // matrix cells each level covers
  std::span<const int16_t> dotValue;          // what one printed dot counts for, by level
  std::span<const int16_t> diffusionThreshold;
  std::span<const uint8_t> gridIndex;  // per level: grid point below it, its weight of 255
  // Stage 4 (two-bit output).
  std::span<const uint8_t> dotTable;  // per level: small, medium and large shares

  uint32_t matrixWidth = 0;  // a power of two
  uint32_t matrixHeight = 0;
  uint32_t matrixCells = 0;
  uint32_t spreadLimit1 = 0;
  uint32_t spreadLimit2 = 0;
  uint32_t spreadLimit3 = 0;
  uint32_t spreadLimit4 = 0;

  // Derived once per context by the engines that use them.
  DotThresholdTable dotThresholds{};  // two-bit ordered dither
  CornerRanges pairedCornerRanges{};  // colour corners: pixels of a pair
  CornerRanges lastCornerRanges{};    // colour corners: the last pixel of an odd run
  diffusion::ColourDiffusionTables colourDiffusion{};  // one-bit colour diffusion
};

// An engine reads its tables, keeps its run state and writes the run's dots.
using Engine = Status (*)(const EngineTables& tables, RunState& state, const HalftoneRun& run);

// The instance of an engine that serves a print mode, chosen once at setup.
using Variant = Engine (*)(const PrintMode& mode);

// Builds an engine's own tables from the views (called once the views are ready).
using Prepare = void (*)(EngineTables& tables);

// The eighteen engines, in the order of the selection table.
enum class EngineId : uint8_t {
  kDitherColorFourLevel,
  kDitherFourLevel,
  kDiffuseFourLevel1440,
  kDiffuseFourLevel,
  kScreenFourLevel1440,
  kScreenFourLevel,
  kDitherBilevel,
  kScreenColorBilevel,
  kScreenColorBilevelDiffused,
  kScreenColorCorners,
  kScreenBilevelDoubleVertical,
  kScreenBilevel1440,
  kScreenBilevel,
  kDiffuseBilevelDoubleVertical,
  kDiffuseBilevelCached1440,
  kDiffuseBilevelCached,
  kDiffuseBilevel1440,
  kDiffuseBilevel,
  kNone,  // no engine: two-bit output in a mode other than 1 or 3
};
inline constexpr int kEngineCount = static_cast<int>(EngineId::kNone);

// The tables an engine cannot run without, as bits.
enum Needs : uint32_t {
  kNeedsNothing = 0,
  kNeedsMatrix = 1u << 0,       // thresholdMatrix
  kNeedsToneCurve = 1u << 1,    // toneCurve
  kNeedsPaddedCurve = 1u << 2,  // paddedCurve with a margin of at least 1
  kNeedsCornerGrid = 1u << 3,   // colorGrid of at least the eight corner nodes of four inks
  kNeedsDotValue = 1u << 4,     // dotValue, diffusionThreshold, gridIndex
  kNeedsDotTable = 1u << 5,     // dotTable
  kNeedsColourGrid = 1u << 6,   // colorGrid of 32 x 32 x 32 nodes of four inks
  kNeedsLevelTable = 1u << 7,   // levelTable of all 256 levels
};

// True when the tables hold everything that the Needs bits ask for.
bool meetsNeeds(const EngineTables& tables, uint32_t needs);

// What the context records for its engine.
struct EngineSetup {
  EngineId engineId = EngineId::kNone;
  Engine engine = nullptr;  // null for kNone
  uint32_t pixelsPerByte = 0;
  bool stageFailed = false;  // a stage up to the last one failed
  EngineTables tables;
};

// Selects the engine of the context's print mode and fills its tables from
// the block table. The tables are ready only when `stagesComplete` and every
// table the engine needs is there; otherwise the table views are left empty
// (the error lines are still described, so that engines can tell a mode
// without lines from a job whose stages are not done).
void prepareEngine(HalftoneContext& context, bool stagesComplete);

}  // namespace kestrl::halftone
