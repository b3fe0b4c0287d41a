// Pack folders, as `kestrl render --resources` and `pack dump` read them:
// up to eight files with fuzzed names and contents in a scratch folder. The
// folder either reads or fails with a message; every resource read is then
// dumped as the kind its id and contents suggest.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fuzz_input.h"
#include "pack/block_dump.h"
#include "pack/pack_io.h"

using namespace kestrl;
using namespace kestrl::fuzz;

namespace fs = std::filesystem;

namespace {

const fs::path& scratchFolder() {
  static const fs::path folder = [] {
    fs::path p = fs::temp_directory_path() / ("kestrl-pack-fuzz-" + std::to_string(getpid()));
    fs::create_directories(p);
    return p;
  }();
  return folder;
}

// A file name from fuzzed bytes: printable, no separators, not . or ..
std::string fileName(const std::vector<uint8_t>& bytes) {
  std::string name;
  for (uint8_t b : bytes) {
    if (b > ' ' && b < 0x7F && b != '/' && b != '\\' && name.size() < 40)
      name.push_back(static_cast<char>(b));
  }
  if (name.empty() || name == "." || name == "..") name = "0.bin";
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const fs::path& folder = scratchFolder();
  for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
  const uint32_t files = in.pick(9);
  for (uint32_t i = 0; i < files; ++i) {
    const std::string name = fileName(in.chunk());
    const std::vector<uint8_t> contents = in.chunk();
    if (in.flag()) {
      std::error_code ignored;  // a file of the same name may already be there
      fs::create_directories(folder / name, ignored);
      continue;
    }
    std::ofstream(folder / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(contents.data()),
               static_cast<std::streamsize>(contents.size()));
  }
  pack::Pack read;
  const pack::PackResult result = pack::readPack(folder.string(), read);
  if (!result.ok()) {
    require(read.resources.empty(), "a failed read left resources");
    return 0;
  }
  for (const auto& [id, resource] : read.resources) {
    pack::BlockKind kind{};
    if (pack::guessKind(resource.bytes, id, resource.text, kind))
      require(!pack::dumpBlock(kind, resource.bytes).empty(), "an empty dump");
  }
  return 0;
}
