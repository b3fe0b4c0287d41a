#include "pack/staged_folder.h"

#include <chrono>
#include <system_error>

namespace kestrl::pack {

namespace fs = std::filesystem;

namespace {

// A name beside the target that no other run picks: ".NAME.SUFFIX-TICKS-N".
fs::path besideTarget(const fs::path& target, const char* suffix, int attempt) {
  static const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count() % 1000000;
  std::string name = ".";
  name.append(target.filename().string()).append(".").append(suffix);
  name.append("-").append(std::to_string(ticks)).append("-").append(std::to_string(attempt));
  return target.parent_path() / name;
}

// The target without a trailing separator, so that "out/" names "out".
fs::path normalTarget(const std::string& target) {
  fs::path path = fs::path(target).lexically_normal();
  if (!path.has_filename()) path = path.parent_path();
  if (path.empty()) path = ".";
  return path;
}

}  // namespace

bool canReplace(const std::string& target, const StagedFolder::Ours& ours, std::string& error) {
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(target, ec);
  if (status.type() == fs::file_type::not_found) return true;
  if (ec || status.type() != fs::file_type::directory) {
    error = target + ": exists and is not a folder";
    return false;
  }
  for (fs::directory_iterator it(target, ec), end; !ec && it != end; it.increment(ec)) {
    if (!ours(*it)) {
      error = target + ": holds " + it->path().filename().string() +
              ", which kestrl did not write; name a new or empty folder";
      return false;
    }
  }
  if (ec) {
    error = target + ": cannot list (" + ec.message() + ")";
    return false;
  }
  return true;
}

StagedFolder::~StagedFolder() {
  if (staging_.empty()) return;
  std::error_code ec;
  fs::remove_all(staging_, ec);
}

bool StagedFolder::begin(const std::string& target, const Ours& ours, std::string& error) {
  if (!canReplace(target, ours, error)) return false;
  target_ = normalTarget(target);
  std::error_code ec;
  if (!target_.parent_path().empty()) fs::create_directories(target_.parent_path(), ec);
  for (int attempt = 0; !ec && attempt < 100; ++attempt) {
    const fs::path candidate = besideTarget(target_, "partial", attempt);
    if (fs::create_directory(candidate, ec) && !ec) {
      staging_ = candidate;
      return true;
    }
  }
  error = target + ": cannot create a folder beside it" + (ec ? " (" + ec.message() + ")" : "");
  return false;
}

bool StagedFolder::commit(std::string& error) {
  std::error_code ec;
  fs::path previous;
  if (fs::exists(fs::symlink_status(target_, ec))) {
    for (int attempt = 0; previous.empty() && attempt < 100; ++attempt) {
      const fs::path candidate = besideTarget(target_, "previous", attempt);
      if (!fs::exists(fs::symlink_status(candidate, ec))) previous = candidate;
    }
    fs::rename(target_, previous, ec);
    if (ec) {
      error = target_.string() + ": cannot replace (" + ec.message() + ")";
      return false;
    }
  }
  fs::rename(staging_, target_, ec);
  if (ec) {
    error = target_.string() + ": cannot replace (" + ec.message() + ")";
    std::error_code restored;
    if (!previous.empty()) fs::rename(previous, target_, restored);
    return false;
  }
  staging_.clear();
  if (!previous.empty()) fs::remove_all(previous, ec);
  return true;
}

}  // namespace kestrl::pack
