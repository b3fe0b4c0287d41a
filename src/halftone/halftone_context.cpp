#include "halftone/halftone_context.h"

#include <cstring>
#include <new>
#include <optional>

#include "common/lut_record.h"
#include "memory/memory.h"

namespace kestrl::halftone {

namespace {

bool inkParametersConsistent(const PrintMode& mode) {
  if ((mode.inkSet == 0) != (mode.colorInput == 0)) return false;
  return mode.inkSet != 3 && mode.inkSet != 7;
}

}  // namespace

Status halftoneNew(const PrintMode* printMode, const CmLut* lut, uint32_t reserved,
                   int32_t* firstId, HalftoneContext** context) {
  if (reserved != 0) return kReservedNotZero;
  if (printMode == nullptr) return kBadParameter;
  if (lut == nullptr) return kBadSecondParameter;
  if (firstId == nullptr || context == nullptr) return kBadParameter;
  *firstId = lut->resourceCode;

  memory::OwnedBlock<HalftoneContext> block;
  if (Status s = block.allocate(sizeof(HalftoneContext), /*zeroFill=*/true); s != kOk) return s;
  auto* created = new (block.get()) HalftoneContext{};
  *context = created;
  created->contextBlock = block.release();
  created->printMode = *printMode;
  std::memcpy(&created->lut, lut, sizeof(CmLut));
  if (const std::optional<uint32_t> size = extra_section::keptSize(*lut)) {
    created->extraSize = *size;
    created->extraSizeKnown = true;
  }
  created->stage = 0;
  created->lastLine = 0;
  created->lastRunEnd = 0;
  prepareEngine(*created, /*stagesComplete=*/false);
  return inkParametersConsistent(*printMode) ? kOk : kBadParameter;
}

Status halftoneDelete(HalftoneContext* context) {
  if (context == nullptr) return kBadParameter;
  const Status released = memory::releaseAll(context->blocks);
  if (released != kOk) return released;
  return memory::releaseOne(context->contextBlock);
}

}  // namespace kestrl::halftone
