#pragma once
// A Prompter that shows nothing: for protocol calls whose failures are reported some
// other way (the gang record writes them into the log instead of showing them).
#include "app/Prompter.h"

namespace fd {

class SilentPrompter final : public Prompter {
public:
  MsgAnswer message(const std::string&, MsgIcon, const std::string&, MsgButtons buttons) override {
    return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::No;
  }
  std::optional<std::string> chooseOpenFile(const FileChoice&) override { return std::nullopt; }
  std::optional<std::string> chooseSaveFile(const FileChoice&) override { return std::nullopt; }
};

}  // namespace fd
