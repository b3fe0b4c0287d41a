// A resource pack: a folder of numbered resource files. The file name's
// number is the id the library asks for; directory resources are text files
// (<id>.txt), every other block a binary file (<id>.bin).
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

namespace kestrl::pack {

struct Resource {
  std::vector<uint8_t> bytes;
  bool text = false;  // a directory, written as <id>.txt
};

// The outcome of reading or writing a pack: empty error on success.
struct PackResult {
  std::string error;
  bool ok() const { return error.empty(); }
};

// A file of a pack folder, listed but not read until its resource is asked for.
struct PackFile {
  std::string path;
  bool text = false;
};

struct Pack {
  // Resources held in memory: made by code, built from a description, or
  // read from the pack's files when first asked for.
  std::map<int32_t, Resource> resources;
  // Files of a pack folder whose resources have not been asked for yet.
  std::map<int32_t, PackFile> files;

  // The resource with this id, or null: held in memory, else read from its
  // file (refused when larger than any block stored like it, or unreadable).
  const Resource* find(int32_t id) const;

  // The resource with this id, read from its file if need be, refusing one
  // of more than maxBytes (unread when the file says so) with a message.
  PackResult load(int32_t id, size_t maxBytes, const Resource*& resource) const;

  // Every id the pack holds or lists, in order.
  std::vector<int32_t> ids() const;

  void put(int32_t id, std::vector<uint8_t> bytes, bool text = false);
  void putText(int32_t id, const std::string& text);

 private:
  mutable std::map<int32_t, Resource> loaded_;
};

// Lists every file of `folder` whose name is a decimal id, with or without
// an extension (".txt" marks text); the files are read only when their
// resources are asked for. Other files are ignored. Two files for one id or
// a missing folder are errors.
PackResult readPack(const std::string& folder, Pack& pack);

// Reads every resource of the pack into memory (each held to the limit of
// the blocks stored like it), as export and dump need them all.
PackResult loadAll(Pack& pack);

// Writes every resource as <id>.txt or <id>.bin into a folder that then
// holds this pack alone; on failure a previous pack there stays as it was.
PackResult writePack(const Pack& pack, const std::string& folder);

// The file name a resource gets in a pack folder.
std::string resourceFileName(int32_t id, const Resource& resource);

// The id a file name stands for: its leading decimal number (optionally
// negative) followed by nothing or an extension. False for other names.
bool idFromFileName(const std::string& name, int32_t& id);

// Reads a whole file of at most maxBytes; false when it cannot be opened or
// read, or is larger.
bool readFile(const std::string& path, std::vector<uint8_t>& bytes,
              size_t maxBytes = std::numeric_limits<size_t>::max());
// Writes a file and checks every step through closing it.
bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace kestrl::pack
