#include "colour/cm_context.h"

#include "colour/calibration.h"
#include "memory/memory.h"

namespace kestrl::colour {

namespace {

int16_t deriveTableClass(CmContext& context) {
  ColorSettings& settings = context.settings;
  int32_t tableClass =
      settings.colorClass == kColorClassCorrected ? kTableClassCorrected : settings.colorClass;
  if (settings.classOverride == kOverrideComposite) {
    tableClass = kTableClassCorrected;
  } else if (settings.classOverride == kOverridePlain) {
    tableClass = 0;
    settings.colorClass = 0;
  } else if (context.printMode.inkSet == 0) {
    tableClass = 0;
  }
  return static_cast<int16_t>(tableClass);
}

}  // namespace

Status cmNew(const ColorSettings* settings, const PrintMode* printMode, uint32_t /*reserved*/,
             int32_t* firstId, CmContext** context) {
  if (settings == nullptr || printMode == nullptr || firstId == nullptr || context == nullptr) {
    return kBadParameter;
  }
  *firstId = 0;
  memory::OwnedBlock<CmContext> contextBlock;
  if (Status s = contextBlock.allocate(sizeof(CmContext), /*zeroFill=*/true); s != kOk) return s;
  memory::OwnedBlock<CmLut> lutBlock;
  if (Status s = lutBlock.allocate(sizeof(CmLut), /*zeroFill=*/true); s != kOk) return s;
  CmContext* created = contextBlock.get();
  CmLut* lut = lutBlock.get();
  created->contextBlock = contextBlock.release();
  lut->selfBlock = lutBlock.release();
  created->lutBlock = lut->selfBlock;
  created->lut = lut;

  created->settings = *settings;
  created->printMode = *printMode;
  if (created->printMode.mode == 0) {
    created->printMode.mode = 3;
    created->settings.colorClass = kColorClassCorrected;
  }
  created->tableClass = deriveTableClass(*created);
  created->stage = 1;
  *context = created;
  return kOk;
}

CmLut* cmGetLut(CmContext* context) {
  return context == nullptr ? nullptr : context->lut;
}

Status cmGetAdjustStatus(const CmContext* context) {
  if (context == nullptr) return kBadParameter;
  return static_cast<Status>(context->adjustStatus);
}

Status cmDelete(CmContext* context) {
  if (context == nullptr) return kBadParameter;
  releaseCalibration(*context);
  CmLut* lut = context->lut;
  if (lut->gridBlock != nullptr) memory::releaseOne(lut->gridBlock);
  if (lut->extraBlock != nullptr) memory::releaseOne(lut->extraBlock);
  memory::releaseOne(context->lutBlock);
  memory::releaseOne(context->contextBlock);
  return kOk;
}

TagValue findTagValue(const CmTagList* list, uint32_t tag) {
  if (list == nullptr || list->count <= 0) return {};
  const CmTagPair* pairs = list->pairs;
  for (int32_t i = 0; i < list->count; ++i) {
    if (pairs[i].tag == tag) return {pairs[i].value, 0, false};
    if (pairs[i].tag == (tag | KESTRL_TAG_SIZED)) {
      const auto* sized = static_cast<const CmSizedValue*>(pairs[i].value);
      return sized == nullptr ? TagValue{} : TagValue{sized->data, sized->size, true};
    }
  }
  return {};
}

const void* findTag(const CmTagList* list, uint32_t tag) {
  return findTagValue(list, tag).data;
}

}  // namespace kestrl::colour
