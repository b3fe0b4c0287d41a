// Writes the default resource pack as a C++ source file, so that the kestrl
// command carries the finished bytes instead of generating them each run.
// With --separation it writes instead the default printer's separation (sRGB
// through the built-in profile, perceptual intent) as the data file that
// tools/pack/default_separation.inc keeps.
// Usage: kestrl_pack_generator OUTPUT.cpp
//        kestrl_pack_generator --separation tools/pack/default_separation.inc
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "colour/printer_model.h"
#include "pack/default_pack.h"

namespace {

void writeBytes(std::ostream& out, const std::vector<uint8_t>& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    out << (i % 24 == 0 ? "\n   " : "") << ' ' << unsigned{bytes[i]} << ',';
  }
}

// Grid points per axis of the default separation.
constexpr uint32_t kSeparationPoints = 17;

void writeList(std::ostream& out, const char* name, const std::vector<uint8_t>& bytes) {
  out << "const uint8_t " << name << "[] = {";
  writeBytes(out, bytes);
  out << "\n};\n";
}

int writeSeparation(const char* path) {
  const auto profile = kestrl::colour::Profile::builtIn();
  if (!profile) {
    std::cerr << "kestrl_pack_generator: the built-in printer profile does not open\n";
    return 1;
  }
  const kestrl::colour::PrinterModel model(*profile, kestrl::colour::Intent::kPerceptual);
  const kestrl::pack::Separation s = model.separation(kSeparationPoints);
  std::ofstream out(path, std::ios::trunc);
  out << "// The default printer's separation, written by `kestrl_pack_generator\n"
         "// --separation`: sRGB through the built-in printer profile, perceptual intent,\n"
         "// "
      << s.points
      << " even levels per axis; then black alone for each neutral level.\n"
         "// clang-format off\n"
         "inline constexpr uint32_t kDefaultSeparationPoints = "
      << s.points << ";\n";
  writeList(out, "kDefaultSeparationGrid", s.grid);
  writeList(out, "kDefaultSeparationBlack", s.black);
  out << "// clang-format on\n";
  out.close();
  return out ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--separation") return writeSeparation(argv[2]);
  if (argc != 2) {
    std::cerr << "usage: kestrl_pack_generator OUTPUT.cpp | --separation OUTPUT.inc\n";
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
