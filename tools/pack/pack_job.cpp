#include "pack/pack_job.h"

#include <vector>

namespace kestrl::pack {

namespace {

constexpr uint32_t kMissingResource = KESTRL_STATUS_BAD_RESOURCE;

}  // namespace

uint32_t openHalftoneJob(const Pack& pack, const PrintMode& mode, HalftoneContext** context) {
  std::vector<uint8_t> block;
  auto find = [&](int32_t id) {
    const Resource* resource = pack.find(id);
    if (resource == nullptr) return false;
    block = resource->bytes;
    return true;
  };
  auto blockSize = [&] { return static_cast<uint32_t>(block.size()); };
  const ColorSettings settings{};
  PrintMode record = mode;
  CmContext* cm = nullptr;
  int32_t id = 0;
  uint32_t status = CmNew(&settings, &record, 0, &id, &cm);
  while (status == KESTRL_STATUS_OK && id != -1) {
    status = find(id) ? CmSetResourceSized(cm, block.data(), blockSize(), &id) : kMissingResource;
  }
  if (status == KESTRL_STATUS_OK) status = HalftoneNew(&record, CmGetLut(cm), 0, &id, context);
  while (status == KESTRL_STATUS_OK && id != -1) {
    status = find(id) ? HalftoneSetResourceSized(*context, block.data(), blockSize(), &id)
                      : kMissingResource;
  }
  if (cm != nullptr) CmDelete(cm);
  return status;
}

}  // namespace kestrl::pack
