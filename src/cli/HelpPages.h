#pragma once
// The manual page and the bash completion of the command line, written from the same
// definition of commands and options as --help, so neither can fall behind it.
#include <string>

namespace CLI {
class App;
}

namespace fd {

// A manual page in roff (man(7)): the program's options, then every command with its own.
std::string ManPage(const CLI::App& app, const std::string& version);

// A bash completion script: commands, each command's options, and paths for --port.
std::string BashCompletion(const CLI::App& app);

}  // namespace fd
