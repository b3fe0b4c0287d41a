// Writes the default resource pack as a C++ source file, so that the kestrl
// command carries the finished bytes instead of generating them each run.
// Usage: kestrl_pack_generator OUTPUT.cpp
#include <cstdio>
#include <fstream>
#include <iostream>

#include "pack/default_pack.h"

namespace {

void writeBytes(std::ostream& out, const std::vector<uint8_t>& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    out << (i % 24 == 0 ? "\n   " : "") << ' ' << unsigned{bytes[i]} << ',';
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: kestrl_pack_generator OUTPUT.cpp\n";
    return 2;
  }
  const kestrl::pack::Pack pack = kestrl::pack::makeDefaultPack();
  std::ofstream out(argv[1], std::ios::trunc);
  out << "// Generated at build time by kestrl_pack_generator: the default pack.\n"
         "#include \"kestrl/built_in_pack.h\"\n\n"
         "namespace kestrl::tool {\nnamespace {\n\n";
  for (const auto& [id, resource] : pack.resources) {
    out << "const uint8_t kResource" << id << "[] = {";
    writeBytes(out, resource.bytes);
    out << "\n};\n";
  }
  out << "\nstruct Entry {\n  int32_t id;\n  bool text;\n  const uint8_t* bytes;\n"
         "  size_t size;\n};\n\nconst Entry kEntries[] = {\n";
  for (const auto& [id, resource] : pack.resources) {
    out << "    {" << id << ", " << (resource.text ? "true" : "false") << ", kResource" << id
        << ", sizeof kResource" << id << "},\n";
  }
  out << "};\n\n}  // namespace\n\npack::Pack builtInPack() {\n  pack::Pack pack;\n"
         "  for (const Entry& e : kEntries) {\n"
         "    pack.put(e.id, std::vector<uint8_t>(e.bytes, e.bytes + e.size), e.text);\n  }\n"
         "  return pack;\n}\n\n}  // namespace kestrl::tool\n";
  out.close();
  if (!out) {
    std::cerr << "kestrl_pack_generator: cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
