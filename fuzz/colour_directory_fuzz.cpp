// The colour directory reader: a job and colour settings from the first
// bytes, the rest of the input as the directory text of stage 1. The same
// text read with its size and read NUL-terminated without one must choose
// the same entry.
#include "fuzz_calls.h"

using namespace kestrl::fuzz;

namespace {

struct Choice {
  KestrlStatus status;
  int32_t nextId;
};

Choice chooseTable(const PrintMode& mode, const ColorSettings& settings,
                   const std::vector<uint8_t>& text, bool sized) {
  CmContext* cm = nullptr;
  int32_t id = 0;
  require(CmNew(&settings, &mode, 0, &id, &cm) == KESTRL_STATUS_OK, "CmNew failed");
  Choice choice{0, -7};
  if (sized) {
    choice.status =
        CmSetResourceSized(cm, text.data(), static_cast<uint32_t>(text.size()), &choice.nextId);
  } else {
    std::vector<uint8_t> terminated(text);
    terminated.push_back(0);
    choice.status = CmSetResource(cm, terminated.data(), &choice.nextId);
  }
  CmDelete(cm);
  return choice;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const PrintMode mode = readJob(in);
  const ColorSettings settings = readSettings(in);
  const std::vector<uint8_t> text = in.rest();
  const Choice sized = chooseTable(mode, settings, text, true);
  requireStatus(sized.status, {0, 768}, "CmSetResource stage 1");
  require((sized.status == KESTRL_STATUS_OK) == (sized.nextId != 0),
          "stage 1 status and next id disagree");
  const Choice unsized = chooseTable(mode, settings, text, false);
  require(unsized.status == sized.status && unsized.nextId == sized.nextId,
          "the directory reads differently with and without its size");
  return 0;
}
