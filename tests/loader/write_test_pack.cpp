// Writes the default resource pack into a folder, as the command's pack
// export does, for the run-time loading test.
#include <cstdio>

#include "pack/default_pack.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_test_pack FOLDER\n");
    return 2;
  }
  const kestrl::pack::PackResult result =
      kestrl::pack::writePack(kestrl::pack::makeDefaultPack(), argv[1]);
  if (!result.ok()) std::fprintf(stderr, "write_test_pack: %s\n", result.error.c_str());
  return result.ok() ? 0 : 1;
}
