// An output folder written as one piece. Everything goes into a new folder
// beside the target; only when the whole run has succeeded does it take the
// target's place, so the folder always holds exactly one complete run: a
// failed run leaves the previous one as it was, and nothing of an earlier,
// different run (other planes, other pages) is left beside the new files.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace kestrl::pack {

class StagedFolder {
 public:
  // Whether an entry of an existing target is something the writer itself
  // makes: a target holding anything else is never replaced.
  using Ours = std::function<bool(const std::filesystem::directory_entry&)>;

  StagedFolder() = default;
  StagedFolder(const StagedFolder&) = delete;
  StagedFolder& operator=(const StagedFolder&) = delete;
  // Removes the staging folder unless it was committed.
  ~StagedFolder();

  // Checks the target (missing, or a folder of nothing but `ours` entries)
  // and creates the staging folder beside it; false with a message.
  bool begin(const std::string& target, const Ours& ours, std::string& error);

  // Where the run writes its files.
  const std::filesystem::path& path() const { return staging_; }

  // Puts the staging folder in the target's place and removes the previous
  // run; false with a message, the previous run kept.
  bool commit(std::string& error);

 private:
  std::filesystem::path target_, staging_;
};

// Checks the target as begin() does, without creating anything: for
// refusing a run before it starts.
bool canReplace(const std::string& target, const StagedFolder::Ours& ours, std::string& error);

}  // namespace kestrl::pack
