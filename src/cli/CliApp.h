#pragma once
#include <iosfwd>
#include <string>

namespace fd {

// The whole command line program: parses argv, runs one command, returns the exit code
// (0 done, 1 the operation failed, 2 usage, 128 + n after signal n).
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
// The same, reading what the operator types from `in`.
int RunCli(int argc, const char* const* argv, std::istream& in, std::ostream& out, std::ostream& err);

// The commands that run until their programmers answer, and so take --timeout.
bool RunsLong(const std::string& command);
// The check of a --timeout value: empty when fine, else the usage error naming the option.
std::string TimeoutError(const std::string& value);

}  // namespace fd
