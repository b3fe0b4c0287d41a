// JSON pack descriptions, as `kestrl pack build` reads them: any text either
// fails with an exception the tool reports or gives a pack whose every block
// checks as its kind.
#include <exception>
#include <nlohmann/json.hpp>

#include "fuzz_input.h"
#include "pack/block_json.h"

using namespace kestrl;
using namespace kestrl::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pack::Pack built;
  try {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    built = pack::packFromJson(pack::parseDescription(text));
  } catch (const std::exception&) {
    return 0;
  }
  for (const auto& [id, resource] : built.resources)
    require(!resource.bytes.empty(), "resource " + std::to_string(id) + " was built empty");
  return 0;
}
