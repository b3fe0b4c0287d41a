// Running the kestrl command from a test, and reading and writing its files.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
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

}  // namespace kestrl::testing
