#pragma once
// The manual page and the bash completion of the command line, written from the same
// definition of commands and options as --help, so neither can fall behind it.
#include <string>

namespace CLI {
class App;
}

namespace fd {

// Gives every option that takes a value a name that says what it takes (FILE, DIR, SN,
// ADDR, SECONDS, ...) in place of the parser's type (TEXT, UINT) and checks ("NOT EMPTY");
// --help and the manual page both show it. Call once all commands are defined.
void NameValues(CLI::App& app);

// A manual page in roff (man(7)): the program's options, then every command with its own.
std::string ManPage(const CLI::App& app, const std::string& version);

// A bash completion script: commands, each command's options, and paths for --port.
std::string BashCompletion(const CLI::App& app);

}  // namespace fd
