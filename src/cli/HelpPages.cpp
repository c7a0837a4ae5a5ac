#include "cli/HelpPages.h"

#include <CLI/CLI.hpp>
#include <map>
#include <sstream>
#include <vector>

namespace fd {
namespace {

// Text as roff shows it: a backslash is the escape character, a leading dot or quote would
// start a request, and a hyphen in an option name must stay a hyphen.
std::string Roff(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
  return out;
}

std::vector<const CLI::Option*> Shown(const CLI::App& app) {
  return app.get_options([](const CLI::Option* option) { return !option->get_group().empty(); });
}

std::vector<const CLI::App*> Commands(const CLI::App& app) {
  return app.get_subcommands([](const CLI::App* sub) { return !sub->get_group().empty(); });
}

// What an option's value is, by "command.option" first, then by the option's long name.
const std::map<std::string, std::string>& ValueNames() {
  static const std::map<std::string, std::string> names = {
      {"simulate", "BENCH"},     {"app-dir", "DIR"},          {"trace", "FILE"},
      {"station", "NAME"},       {"lock-wait", "SECONDS"},    {"port", "PORT"},
      {"usb-serial", "SERIAL"},  {"usb-id", "VID:PID"},       {"device", "INDEX"},
      {"count", "N"},            {"expect", "FILE"},          {"timeout", "SECONDS"},
      {"since", "YYYY-MM-DD"},   {"html", "FILE"},            {"blocks", "BLOCK[,BLOCK...]"},
      {"start", "ADDR"},         {"end", "ADDR"},             {"output", "FILE"},
      {"programmers", "N"},      {"bench", "FILE"},           {"base", "ADDR"},
      {"sn", "SN"},              {"gang.sn", "SN[,SN...]"},
  };
  return names;
}

// The part of a type name a check of ours added ("SN", "{3,5,none}"), when it names the value
// rather than the check.
std::string NamedByCheck(const std::string& typeName) {
  const std::size_t colon = typeName.find(':');
  if (colon == std::string::npos) return "";
  const std::string named = typeName.substr(colon + 1);
  if (named.rfind("NOT EMPTY", 0) == 0 || named.find(" in [") != std::string::npos) return "";
  return named.substr(0, named.find(':'));
}

void NameValuesOf(CLI::App& command, const std::string& prefix) {
  for (CLI::Option* option : command.get_options()) {
    if (option->get_group().empty() || option->get_type_size() == 0) continue;
    std::string name = NamedByCheck(option->get_type_name());
    if (option->get_positional() && !option->nonpositional()) {
      // The positional's own name says what it is.
      name.clear();
    } else if (name.empty()) {
      const std::string lname = option->get_lnames().empty() ? std::string() : option->get_lnames().front();
      const auto& names = ValueNames();
      auto found = names.find(prefix + lname);
      if (found == names.end()) found = names.find(lname);
      if (found == names.end()) continue;  // left as the parser names it
      name = found->second;
    }
    if (option->get_required()) name += name.empty() ? "REQUIRED" : " REQUIRED";
    if (name.empty()) name = "OPTIONAL";
    option->option_text(name);
  }
  for (CLI::App* sub : command.get_subcommands([](const CLI::App*) { return true; })) {
    NameValuesOf(*sub, sub->get_name() + ".");
  }
}

// What an option takes, as --help shows it, without --help's REQUIRED.
std::string ValueName(const CLI::Option& option) {
  std::string text = option.get_option_text();
  if (text.empty()) return option.get_type_name();
  for (const char* mark : {" REQUIRED", "REQUIRED"}) {
    const std::size_t at = text.rfind(mark);
    if (at != std::string::npos && at + std::string(mark).size() == text.size()) {
      text.erase(at);
      break;
    }
  }
  return text;
}

// One option as .TP paragraph: its names and what it takes, then what it does.
void Option(std::ostringstream& man, const CLI::Option& option) {
  std::string names = option.get_name(option.get_positional(), true);
  if (option.get_positional() && !option.nonpositional()) names = option.get_name(true, false);
  man << ".TP\n.B " << Roff(names);
  if (option.get_items_expected_max() != 0 && option.nonpositional()) {
    man << " \\fI" << Roff(ValueName(option)) << "\\fR";
  }
  man << "\n" << Roff(option.get_description()) << "\n";
}

std::string Synopsis(const CLI::App& command) {
  std::string text;
  for (const CLI::Option* option : Shown(command)) {
    if (option->get_positional() && !option->nonpositional()) {
      text += " " + option->get_name(true, false);
      if (option->get_items_expected_max() > 1) text += "...";
    }
  }
  return text + " [OPTIONS]";
}

}  // namespace

void NameValues(CLI::App& app) { NameValuesOf(app, ""); }

std::string ManPage(const CLI::App& app, const std::string& version) {
  std::ostringstream man;
  const std::string name = app.get_name();
  man << ".TH FLASHDOCK\\-CLI 1 \"\" \"Flashdock " << Roff(version) << "\" \"User Commands\"\n";
  man << ".SH NAME\n" << Roff(name) << " \\- " << Roff(app.get_description()) << "\n";
  man << ".SH SYNOPSIS\n.B " << Roff(name) << "\n[\\fIOPTIONS\\fR] \\fICOMMAND\\fR [\\fICOMMAND OPTIONS\\fR]\n";
  man << ".SH DESCRIPTION\n"
         "Drives ZK40 family flash programmers, real ones on serial ports or a simulated bench, "
         "from a terminal or a script. Each command acts on the programmers detected, by their "
         "rows (serial numbers) or their ports.\n";
  man << ".SH OPTIONS\n";
  for (const CLI::Option* option : Shown(app)) Option(man, *option);
  man << ".SH COMMANDS\n";
  for (const CLI::App* command : Commands(app)) {
    man << ".SS " << Roff(command->get_name() + Synopsis(*command)) << "\n" << Roff(command->get_description()) << "\n";
    for (const CLI::Option* option : Shown(*command)) Option(man, *option);
  }
  man << ".SH EXIT STATUS\n"
         ".TP\n.B 0\nThe command did all it was asked.\n"
         ".TP\n.B 1\nThe operation failed: a programmer did not succeed or is not detected, a time-out, "
         "or a file that could not be read or written.\n"
         ".TP\n.B 2\nA usage error: an unknown command or option, or an empty or malformed value.\n"
         ".TP\n.B 128+N\nEnded by signal N (Ctrl-C: 130), after writing its records.\n";
  man << ".SH SEE ALSO\n.BR flashdock (1)\n";
  return man.str();
}

std::string BashCompletion(const CLI::App& app) {
  const auto words = [](const CLI::App& command) {
    std::string text;
    for (const CLI::Option* option : Shown(command)) {
      for (const std::string& l : option->get_lnames()) text += " --" + l;
      for (const std::string& s : option->get_snames()) text += " -" + s;
    }
    return text.empty() ? text : text.substr(1);
  };
  std::ostringstream script;
  const std::string name = app.get_name();
  std::string function = "_" + name;
  for (char& c : function) {
    if (c == '-') c = '_';
  }
  std::string commands;
  for (const CLI::App* command : Commands(app)) commands += (commands.empty() ? "" : " ") + command->get_name();
  script << "# bash completion for " << name << ": commands, their options, and paths for --port.\n"
         << function << "() {\n"
         << "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} command= i\n"
         << "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
         << "    case \" " << commands << " \" in *\" ${COMP_WORDS[i]} \"*) command=${COMP_WORDS[i]}; break;; esac\n"
         << "  done\n"
         << "  case $prev in\n"
         << "    --port) COMPREPLY=($(compgen -f -- \"${cur:-/dev/}\")); return;;\n"
         << "    --simulate|--app-dir|--trace|-o|--output|--bench|--html|--expect) "
            "COMPREPLY=($(compgen -f -- \"$cur\")); return;;\n"
         << "  esac\n"
         << "  local words\n"
         << "  case $command in\n";
  for (const CLI::App* command : Commands(app)) {
    script << "    " << command->get_name() << ") words=\"" << words(*command) << "\";;\n";
  }
  script << "    *) words=\"" << words(app) << " " << commands << "\";;\n"
         << "  esac\n"
         << "  if [[ $cur == -* || -z $command ]]; then\n"
         << "    COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
         << "  else\n"
         << "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
         << "  fi\n"
         << "}\n"
         << "complete -F " << function << " " << name << "\n";
  return script.str();
}

}  // namespace fd
