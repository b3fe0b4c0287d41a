// Pieces shared by the halftone resource stages.
#pragma once

#include <cstdint>

#include "common/status.h"
#include "halftone/halftone_context.h"
#include "halftone/stages/grid_resampling.h"
#include "memory/byte_reader.h"
#include "memory/memory.h"

namespace kestrl::halftone::stages {

// Modes 0, 2 and 3 share the plain rules of the stages.
inline bool isPlainMode(const PrintMode& mode) {
  return mode.mode == 0 || mode.mode == 2 || mode.mode == 3;
}

inline bool isTwoBit(const PrintMode& mode) {
  return mode.bitsPerPixel == 2;
}

inline bool is1440x720(const PrintMode& mode) {
  return mode.xResolution == 1440 && mode.yResolution == 720;
}

// A resource id as the next-id word holds it: 16 bits sign-extended, so the
// end marker 0xFFFF reads as -1.
inline int32_t idWord(uint16_t id) {
  return static_cast<int16_t>(id);
}

// The table entry `index` of the block table holds, as the stage that fills
// it writes it (engines read the typed views of EngineTables instead).
template <typename T>
T* blockTable(const HalftoneContext& context, size_t index) {
  return static_cast<T*>(context.blocks[index].data);
}

// Releases every block of the context after a failed allocation and passes
// the allocation's status on. The context itself survives.
inline Status releaseAllAfter(HalftoneContext& context, Status failure) {
  memory::releaseAll(context.blocks);
  return failure;
}

// Makes an entry a view of `size` bytes at `offset` into another entry's block.
inline void viewAt(HalftoneContext& context, size_t entry, size_t owner, uint32_t offset,
                   uint32_t size) {
  auto* base = static_cast<uint8_t*>(context.blocks[owner].data);
  memory::makeView(context.blocks[entry], base + offset, nullptr, size);
}

// The levels of the record's first axis rise strictly from 0 to 255 over a
// point count the record can hold.
inline bool firstAxisUsable(const CmLut& lut) {
  const int32_t n = lut.gridPoints[0];
  return n >= 2 && n <= KESTRL_MAX_GRID_POINTS &&
         levelsUsable(lut.breakpoints[0], static_cast<uint32_t>(n));
}

// Stage 3: the threshold matrix and the tables computed from it.
Status thresholdMatrixStage(HalftoneContext& context, ByteReader& block, int32_t* nextId);

}  // namespace kestrl::halftone::stages
