// Running the kestrl command from a test, and reading and writing its files.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kestrl::testing {

struct Result {
  int exitCode = -1;
  std::string output;  // standard output and error together
};

// Runs a shell command and collects what it prints.
inline Result run(const std::string& command) {
  Result r;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return r;
  std::array<char, 4096> buffer;
  for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
    r.output.append(buffer.data(), n);
  const int status = pclose(pipe);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

// The command with these arguments, printing on a small paper of its own (a
// picture without a resolution is fitted to the paper), whatever the
// machine's paper is.
inline Result kestrl(const std::string& args) {
  return run("PAPERSIZE=2x2in " + std::string(KESTRL_TOOL_PATH) + " " + args + " 2>&1");
}

inline std::vector<uint8_t> readBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeBytes(const std::filesystem::path& path, const std::string& header,
                       const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary);
  out << header;
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

// A test with a folder of its own, named after the test and the process,
// removed afterwards unless KEEP is set in the environment.
class FolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = std::filesystem::temp_directory_path() / (std::string(test->test_suite_name()) + "_" +
                                                     test->name() + "_" + std::to_string(getpid()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    if (!getenv("KEEP")) std::filesystem::remove_all(dir_);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;
};

}  // namespace kestrl::testing
