#include "pack/pack_io.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "pack/block_dump.h"
#include "pack/staged_folder.h"

namespace kestrl::pack {

namespace fs = std::filesystem;

namespace {

PackResult tooLarge(const std::string& path, uintmax_t size, size_t maxBytes) {
  return {path + " holds " + std::to_string(size) + " bytes; a block read from it holds at most " +
          std::to_string(maxBytes)};
}

}  // namespace

const Resource* Pack::find(int32_t id) const {
  const Resource* resource = nullptr;
  const auto file = files.find(id);
  const size_t limit = file == files.end() ? 0 : maxBlockBytes(file->second.text);
  return load(id, limit, resource).ok() ? resource : nullptr;
}

PackResult Pack::load(int32_t id, size_t maxBytes, const Resource*& resource) const {
  resource = nullptr;
  const auto held = resources.find(id);
  if (held != resources.end()) {
    resource = &held->second;
    return {};
  }
  const auto file = files.find(id);
  if (file == files.end()) return {"the pack has no resource " + std::to_string(id)};
  const std::string& path = file->second.path;
  auto cached = loaded_.find(id);
  if (cached == loaded_.end()) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    if (ec) return {"cannot read " + path + ": " + ec.message()};
    if (size > maxBytes) return tooLarge(path, size, maxBytes);
    Resource read{{}, file->second.text};
    if (!readFile(path, read.bytes, maxBytes)) return {"cannot read " + path};
    cached = loaded_.emplace(id, std::move(read)).first;
  }
  if (cached->second.bytes.size() > maxBytes)
    return tooLarge(path, cached->second.bytes.size(), maxBytes);
  resource = &cached->second;
  return {};
}

std::vector<int32_t> Pack::ids() const {
  std::vector<int32_t> all;
  for (const auto& entry : resources) all.push_back(entry.first);
  for (const auto& entry : files) {
    if (!resources.count(entry.first)) all.push_back(entry.first);
  }
  std::sort(all.begin(), all.end());
  return all;
}

void Pack::put(int32_t id, std::vector<uint8_t> bytes, bool text) {
  resources[id] = Resource{std::move(bytes), text};
}

void Pack::putText(int32_t id, const std::string& text) {
  put(id, std::vector<uint8_t>(text.begin(), text.end()), true);
}

bool idFromFileName(const std::string& name, int32_t& id) {
  const std::string stem = name.substr(0, name.find('.'));
  if (stem.empty()) return false;
  const char* end = stem.data() + stem.size();
  const auto [ptr, ec] = std::from_chars(stem.data(), end, id);
  return ec == std::errc() && ptr == end;
}

std::string resourceFileName(int32_t id, const Resource& resource) {
  return std::to_string(id) + (resource.text ? ".txt" : ".bin");
}

bool readFile(const std::string& path, std::vector<uint8_t>& bytes, size_t maxBytes) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.clear();
  char buffer[65536];
  while (in) {
    in.read(buffer, sizeof buffer);
    const auto got = static_cast<size_t>(in.gcount());
    if (got > maxBytes - bytes.size()) return false;
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  return !in.bad();
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

PackResult readPack(const std::string& folder, Pack& pack) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return {"resource folder " + folder + " does not exist"};
  Pack result;
  std::map<int32_t, std::string> seen;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
    if (!entry.is_regular_file(ec)) continue;
    const std::string name = entry.path().filename().string();
    int32_t id = 0;
    if (!idFromFileName(name, id)) continue;
    if (seen.count(id))
      return {"two files for resource " + std::to_string(id) + ": " + seen[id] + " and " + name};
    seen[id] = name;
    result.files[id] = {entry.path().string(), entry.path().extension() == ".txt"};
  }
  if (ec) return {"cannot list " + folder + ": " + ec.message()};
  pack = std::move(result);
  return {};
}

PackResult loadAll(Pack& pack) {
  for (const auto& [id, file] : pack.files) {
    const Resource* resource = nullptr;
    if (PackResult r = pack.load(id, maxBlockBytes(file.text), resource); !r.ok()) return r;
    pack.resources[id] = *resource;
  }
  pack.files.clear();
  return {};
}

PackResult writePack(const Pack& pack, const std::string& folder) {
  StagedFolder staged;
  std::string error;
  const auto isPackFile = [](const fs::directory_entry& e) {
    int32_t id = 0;
    return e.is_regular_file() && idFromFileName(e.path().filename().string(), id);
  };
  if (!staged.begin(folder, isPackFile, error)) return {error};
  for (const auto& [id, resource] : pack.resources) {
    const std::string path = (staged.path() / resourceFileName(id, resource)).string();
    if (!writeFile(path, resource.bytes)) return {"cannot write " + path};
  }
  if (!staged.commit(error)) return {error};
  return {};
}

}  // namespace kestrl::pack
