#pragma once
#include <iosfwd>

namespace fd {

// The whole command line program: parses argv, runs one command, returns the exit code
// (0 done, 1 the operation failed, 2 usage).
int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace fd
