// A resource pack: a folder of numbered resource files. The file name's
// number is the id the library asks for; directory resources are text files
// (<id>.txt), every other block a binary file (<id>.bin).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kestrl::pack {

struct Resource {
  std::vector<uint8_t> bytes;
  bool text = false;  // a directory, written as <id>.txt
};

struct Pack {
  std::map<int32_t, Resource> resources;

  // The resource with this id, or null.
  const Resource* find(int32_t id) const;
  void put(int32_t id, std::vector<uint8_t> bytes, bool text = false);
  void putText(int32_t id, const std::string& text);
};

// The outcome of reading or writing a pack: empty error on success.
struct PackResult {
  std::string error;
  bool ok() const { return error.empty(); }
};

// Reads every file of `folder` whose name is a decimal id, with or without
// an extension (".txt" marks text). Other files are ignored. Two files for
// one id, an unreadable file or a missing folder are errors.
PackResult readPack(const std::string& folder, Pack& pack);

// Writes every resource as <id>.txt or <id>.bin, creating the folder.
PackResult writePack(const Pack& pack, const std::string& folder);

// The file name a resource gets in a pack folder.
std::string resourceFileName(int32_t id, const Resource& resource);

// The id a file name stands for: its leading decimal number (optionally
// negative) followed by nothing or an extension. False for other names.
bool idFromFileName(const std::string& name, int32_t& id);

// Reads a whole file; false when it cannot be opened or read.
bool readFile(const std::string& path, std::vector<uint8_t>& bytes);
bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace kestrl::pack
