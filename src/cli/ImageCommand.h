#pragma once
// What `load` and `program` share: the row chosen as the main window's selection would
// choose it, the programmer reset and read as Off-line Set and On-line Test do, the file
// given on the command line in place of the open-file dialog (S-records, Intel HEX or a
// binary at a base address), the Loading window on the console, and the outcome.
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/CliContext.h"

namespace fd {

struct ImageCommandOptions {
  std::string file;
  std::string sn;       // "01".."08" or "1".."8"; load: a list "01,03" as well
  bool all = false;     // load only: every programmer listed
  std::string ifSame;   // load only: "reload", "name-only", "cancel" or "" (ask)
  std::string base;     // binary images only: hex address, "0x" allowed
};

// The option checks, each "" when the value is good.
std::string SnOptionError(const std::string& value);
std::string BaseOptionError(const std::string& value);

// FILE, --sn and --base on `sub`; with `many` (load) --sn takes a list and --all is offered.
void AddImageOptions(CLI::App& sub, ImageCommandOptions& options, bool many = false);

// "01,03" or "1,3": each a row number, none empty, none twice; "" when fine.
std::string SnListOptionError(const std::string& value);

// The answer --if-same gives to the reload question (empty: none), installed on the
// console's message box; the single and the many-programmer load both ask through it.
void AnswerReloadQuestionFrom(CliContext& cli, const std::string& ifSame);

// Load File (off-line) into several programmers at once (--sn with a list, or --all).
int RunMultiLoad(CliContext& cli, const ImageCommandOptions& options);

// Runs Load File (offline) or Program (on-line) for the options; the exit code.
int RunImageCommand(CliContext& cli, const ImageCommandOptions& options, bool offline);

}  // namespace fd
