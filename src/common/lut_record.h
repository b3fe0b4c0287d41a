// The colour table record as the library allocates it: the public CmLut
// followed by what only the library keeps about it.
//
// The record's selfBlock names the block that holds it, so a reader can tell
// the library's own record (whose trailer it may read) from a copy or a
// record made by the caller (which carry nothing more).
#pragma once

#include <cstdint>

#include "kestrl30.h"

namespace kestrl {

struct LutRecord {
  CmLut lut;
  // Bytes of the extra section that extraData points to (0 without one):
  // the halftone side reads the stage-4 id record only within them.
  uint32_t extraSize;
};

// The library's own record that `lut` is, or null for any other record.
inline LutRecord* ownRecord(CmLut& lut) {
  return lut.selfBlock == &lut ? reinterpret_cast<LutRecord*>(&lut) : nullptr;
}
inline const LutRecord* ownRecord(const CmLut& lut) {
  return lut.selfBlock == &lut ? reinterpret_cast<const LutRecord*>(&lut) : nullptr;
}

}  // namespace kestrl
