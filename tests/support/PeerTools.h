#pragma once
// Other programs some tests compare against (srec_cat, objcopy): found on PATH, run through
// the shell with quoted arguments. A test calls GTEST_SKIP when its tool is absent.
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace fd::test {

// The tool's full path, or "" when no folder on PATH has it.
inline std::string FindOnPath(std::string_view name) {
  const char* path = std::getenv("PATH");
  if (!path) return {};
  std::string_view rest(path);
  while (true) {
    const std::size_t colon = rest.find(':');
    std::string dir(rest.substr(0, colon));
    if (dir.empty()) dir = ".";
    const std::string candidate = dir + "/" + std::string(name);
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    if (colon == std::string_view::npos) return {};
    rest.remove_prefix(colon + 1);
  }
}

inline std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Runs the program with its arguments, its output (both streams) into `outputFile` when
// given; returns its exit status (-1 when it could not run).
inline int RunTool(const std::string& program, const std::vector<std::string>& args,
                   const std::string& outputFile = "/dev/null") {
  std::string command = ShellQuoted(program);
  for (const std::string& arg : args) command += " " + ShellQuoted(arg);
  command += " >" + ShellQuoted(outputFile) + " 2>&1";
  const int status = std::system(command.c_str());
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace fd::test
