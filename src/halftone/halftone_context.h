// The halftone context: everything the halftoning service keeps for one job.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/block_layout.h"
#include "common/status.h"
#include "halftone/engine_setup.h"
#include "kestrl30.h"

namespace kestrl::halftone {

inline constexpr size_t kBlockCount = 20;
inline constexpr size_t kResourceIdCount = layout::id_list::kMaxIds + 1;  // with the end marker
inline constexpr uint16_t kEndOfIds = layout::id_list::kEndMarker;

// Entries of the block table and the table each one holds.
enum BlockIndex : size_t {
  kCurveOrGridBlock = 0,     // toneCurve, paddedCurve or colorGrid
  kFirstErrorLineBlock = 1,  // errorLine[0..3] in entries 1 to 4
  kThresholdMatrixBlock = 5,
  kLevelTableBlock = 6,  // view into entry 5
  kDotValueBlock = 7,    // also holds entries 8 and 9
  kDiffusionThresholdBlock = 8,
  kGridIndexBlock = 9,
  kDotTableBlock = 10,
};

}  // namespace kestrl::halftone

// Declared opaque in the public header.
struct HalftoneContext {
  PrintMode printMode;
  uint16_t resourceIdList[kestrl::halftone::kResourceIdCount];
  CmLut lut;
  MemoryBlock blocks[kestrl::halftone::kBlockCount];
  uint32_t bufferCount;
  uint32_t lastLine;
  uint32_t lastRunEnd;
  uint32_t stage;
  void* contextBlock;
  uint32_t matrixWidth;
  uint32_t matrixHeight;
  uint16_t matrixCells;
  uint32_t spreadLimit1;
  uint32_t spreadLimit2;
  uint32_t spreadLimit3;
  uint32_t spreadLimit4;
  // Bytes of the record's extra section, when the library made the section
  // (extraSizeKnown), whether the record passed is its own or a copy; a
  // record made by the caller is trusted.
  uint32_t extraSize;
  bool extraSizeKnown;
  // The engine and its views of the tables, prepared after every stage.
  kestrl::halftone::EngineSetup setup;
};

namespace kestrl::halftone {

// Creates a context: 515 for a non-zero reserved word, 513 / 514 for a
// missing record, then 513 for a missing first-id or context word, 257 / 258
// when the context cannot be allocated. The first resource id (the record's
// resourceCode) is written before allocating. A 513 from the ink checks
// still hands back a complete context.
Status halftoneNew(const PrintMode* printMode, const CmLut* lut, uint32_t reserved,
                   int32_t* firstId, HalftoneContext** context);

// Releases every block of the context, then the context itself; 513 for a
// null context.
Status halftoneDelete(HalftoneContext* context);

}  // namespace kestrl::halftone
