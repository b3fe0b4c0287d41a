#include "pack/pack_io.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace kestrl::pack {

namespace fs = std::filesystem;

const Resource* Pack::find(int32_t id) const {
  const auto it = resources.find(id);
  return it == resources.end() ? nullptr : &it->second;
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

bool readFile(const std::string& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
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
    std::vector<uint8_t> bytes;
    if (!readFile(entry.path().string(), bytes)) return {"cannot read " + entry.path().string()};
    result.put(id, std::move(bytes), entry.path().extension() == ".txt");
  }
  if (ec) return {"cannot list " + folder + ": " + ec.message()};
  pack = std::move(result);
  return {};
}

PackResult writePack(const Pack& pack, const std::string& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return {"cannot create " + folder + ": " + ec.message()};
  for (const auto& [id, resource] : pack.resources) {
    const std::string path = (fs::path(folder) / resourceFileName(id, resource)).string();
    if (!writeFile(path, resource.bytes)) return {"cannot write " + path};
  }
  return {};
}

}  // namespace kestrl::pack
