// The manual page and the bash completion come from the same definitions as --help: every
// command and option appears, the roff is well formed, and the completion completes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliApp.h"
#include "support/TempDir.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::string Print(const char* what) {
  const char* argv[] = {"flashdock-cli", what};
  std::ostringstream out, err;
  EXPECT_EQ(RunCli(2, argv, out, err), 0) << err.str();
  return out.str();
}

// Every command --help lists, read from the help text itself.
std::vector<std::string> HelpCommands() {
  const char* argv[] = {"flashdock-cli", "--help"};
  std::ostringstream out, err;
  RunCli(2, argv, out, err);
  const std::string help = out.str();
  std::vector<std::string> commands;
  const std::size_t at = help.find("Subcommands:");
  EXPECT_NE(at, std::string::npos) << help;
  std::istringstream lines(help.substr(at));
  std::string line;
  std::getline(lines, line);
  const std::regex entry(R"(^  ([a-z][a-z-]*)\s)");
  while (std::getline(lines, line)) {
    std::smatch m;
    if (std::regex_search(line, m, entry)) commands.push_back(m[1]);
  }
  return commands;
}

TEST(HelpPages, TheManualPageHasEveryCommandAndOptionInWellFormedRoff) {
  const std::string man = Print("--man");
  EXPECT_EQ(man.rfind(".TH FLASHDOCK\\-CLI 1 ", 0), 0u) << man.substr(0, 80);
  for (const char* section : {".SH NAME", ".SH SYNOPSIS", ".SH OPTIONS", ".SH COMMANDS", ".SH EXIT STATUS"}) {
    EXPECT_THAT(man, HasSubstr(section));
  }
  const std::vector<std::string> commands = HelpCommands();
  ASSERT_GE(commands.size(), 10u);
  for (const std::string& command : commands) {
    std::string roff = command;
    for (std::size_t i = roff.find('-'); i != std::string::npos; i = roff.find('-', i + 2)) roff.replace(i, 1, "\\-");
    EXPECT_THAT(man, HasSubstr(".SS " + roff + " ")) << command;
  }
  // Options of the program and of a command, hyphens kept as hyphens.
  EXPECT_THAT(man, HasSubstr(".B \\-\\-simulate \\fIBENCH"));
  EXPECT_THAT(man, HasSubstr(".B \\-\\-expect"));
  EXPECT_THAT(man, HasSubstr(".B \\-o,\\-\\-output"));
  // No line begins with a dot or quote that is not a request roff knows.
  std::istringstream lines(man);
  std::string line;
  const std::regex request(R"(^\.(TH|SH|SS|TP|B|BR)( |$))");
  while (std::getline(lines, line)) {
    if (!line.empty() && (line[0] == '.' || line[0] == '\'')) {
      EXPECT_TRUE(std::regex_search(line, request)) << line;
    }
  }
}

// Every value is named for what it is, in --help and the manual page alike: never the
// parser's type (TEXT, UINT) or a check's wording ("NOT EMPTY", "INT in [1 - 8]").
TEST(HelpPages, EveryValueIsNamedForWhatItTakes) {
  const std::regex parserWords(R"(\b(TEXT|UINT|INT|FLOAT|NOT EMPTY)\b)");
  std::vector<std::string> pages = {Print("--man")};
  std::vector<std::string> names = {"--man"};
  {
    const char* argv[] = {"flashdock-cli", "--help"};
    std::ostringstream out, err;
    RunCli(2, argv, out, err);
    pages.push_back(out.str());
    names.push_back("--help");
  }
  for (const std::string& command : HelpCommands()) {
    const char* argv[] = {"flashdock-cli", command.c_str(), "--help"};
    std::ostringstream out, err;
    RunCli(3, argv, out, err);
    pages.push_back(out.str());
    names.push_back(command + " --help");
  }
  for (std::size_t i = 0; i < pages.size(); ++i) {
    std::smatch m;
    EXPECT_FALSE(std::regex_search(pages[i], m, parserWords)) << names[i] << " shows \"" << m.str() << "\" in\n" << pages[i];
  }
  // What the help says a command takes, read back: names, REQUIRED, and checks that name values.
  const char* argv[] = {"flashdock-cli", "setup", "--help"};
  std::ostringstream out, err;
  RunCli(3, argv, out, err);
  EXPECT_THAT(out.str(), HasSubstr("--sn SN[,SN...]"));
  EXPECT_THAT(out.str(), HasSubstr("--power {3,5,none}"));
  const char* erase[] = {"flashdock-cli", "erase", "--help"};
  std::ostringstream eraseOut;
  RunCli(3, erase, eraseOut, err);
  EXPECT_THAT(eraseOut.str(), HasSubstr("--sn SN REQUIRED"));
  const char* gang[] = {"flashdock-cli", "gang", "--help"};
  std::ostringstream gangOut;
  RunCli(3, gang, gangOut, err);
  EXPECT_THAT(gangOut.str(), HasSubstr("--sn SN[,SN...]"));
  EXPECT_THAT(gangOut.str(), HasSubstr("--timeout SECONDS"));
}

TEST(HelpPages, TheManualPageRendersWithoutWarnings) {
  test::TempDir dir;
  dir.write("flashdock-cli.1", Print("--man"));
  if (std::system("command -v groff >/dev/null 2>&1") != 0) GTEST_SKIP() << "groff is not installed";
  const std::string command = "groff -man -Tutf8 -ww -z '" + dir.path("flashdock-cli.1") + "' 2>'" + dir.path("warnings") + "'";
  EXPECT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(dir.read("warnings"), "");
}

// What bash offers after the words typed so far, through the generated script.
std::string Complete(const test::TempDir& dir, const std::string& line) {
  const std::string script =
      "source '" + dir.path("completion") + "'\n"
      "COMP_WORDS=(" + line + ")\n"
      "COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 ))\n"
      "_flashdock_cli\n"
      "printf '%s\\n' \"${COMPREPLY[@]}\"\n";
  dir.write("run.sh", script);
  const std::string command = "bash '" + dir.path("run.sh") + "' >'" + dir.path("out") + "' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << dir.read("out");
  return dir.read("out");
}

TEST(HelpPages, TheCompletionOffersCommandsTheirOptionsAndPortPaths) {
  test::TempDir dir;
  dir.write("completion", Print("--bash-completion"));
  EXPECT_EQ(Complete(dir, "flashdock-cli ga"), "gang\n");
  EXPECT_THAT(Complete(dir, "flashdock-cli --sim"), HasSubstr("--simulate\n"));
  const std::string gang = Complete(dir, "flashdock-cli gang --"), read = Complete(dir, "flashdock-cli read --");
  EXPECT_THAT(gang, HasSubstr("--expect\n"));
  EXPECT_THAT(gang, HasSubstr("--timeout\n"));
  EXPECT_THAT(read, HasSubstr("--output\n"));
  EXPECT_THAT(read, Not(HasSubstr("--expect\n")));  // each command offers its own
  // --port completes paths, from /dev/ when nothing is typed yet.
  dir.write("ttyFAKE0", "");
  EXPECT_EQ(Complete(dir, "flashdock-cli --port '" + dir.path("ttyF") + "'"), dir.path("ttyFAKE0") + "\n");
  EXPECT_THAT(Complete(dir, "flashdock-cli --port ''"), HasSubstr("/dev/"));
}

}  // namespace
}  // namespace fd
