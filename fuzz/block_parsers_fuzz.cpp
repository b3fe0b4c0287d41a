// The pack's block parsers: a kind from the first byte, the rest as the
// block. Checking and dumping never fail on any bytes; a block that parses
// turns into a description that builds a block which parses to the same
// description.
#include <exception>

#include "fuzz_input.h"
#include "pack/block_dump.h"
#include "pack/block_json.h"

using namespace kestrl;
using namespace kestrl::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const pack::BlockKind kind = pack::kAllBlockKinds[in.pick(std::size(pack::kAllBlockKinds))];
  const std::vector<uint8_t> bytes = in.rest();
  const std::string why = pack::checkBlock(kind, bytes);
  const std::string dump = pack::dumpBlock(kind, bytes);
  require(!dump.empty(), "an empty dump");
  pack::BlockKind guessed{};
  pack::guessKind(bytes, -1, kind == pack::BlockKind::kDirectory, guessed);
  if (!why.empty()) return 0;

  nlohmann::json description;
  try {
    description = pack::blockToJson(kind, bytes);
  } catch (const std::exception& e) {
    fail(std::string("a block that checks does not describe: ") + e.what());
  }
  pack::BlockKind rebuiltKind{};
  std::vector<uint8_t> rebuilt;
  try {
    rebuilt = pack::blockFromJson(description, rebuiltKind);
  } catch (const std::exception& e) {
    fail(std::string("a description of a block does not build: ") + e.what());
  }
  require(rebuiltKind == kind, "a description builds another kind");
  require(pack::checkBlock(kind, rebuilt).empty(), "a rebuilt block does not check");
  // A directory the library reads can hold what its text form cannot say
  // (an entry line short of fields reads as empty names): of a directory,
  // only that it rebuilds into one the library reads is asked.
  if (kind == pack::BlockKind::kDirectory) return 0;
  require(pack::blockToJson(kind, rebuilt) == description, "a rebuilt block describes differently");
  return 0;
}
