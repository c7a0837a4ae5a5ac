#pragma once
// Ports for a main window that nobody looks at: every message answered OK, no file chosen,
// no document opened.
#include <optional>
#include <string>

#include "app/DocumentOpener.h"
#include "app/Prompter.h"
#include "app/Timers.h"

namespace fd::bench {

class NullPrompter final : public Prompter {
public:
  MsgAnswer message(const std::string&, MsgIcon, const std::string&, MsgButtons) override { return MsgAnswer::Ok; }
  std::optional<std::string> chooseOpenFile(const FileChoice&) override { return std::nullopt; }
  std::optional<std::string> chooseSaveFile(const FileChoice&) override { return std::nullopt; }
};

class NullTimers final : public Timers {
public:
  void start(int, int) override {}
  void stop(int) override {}
};

class NullOpener final : public DocumentOpener {
public:
  bool openDocument(const std::string&) override { return false; }
};

}  // namespace fd::bench
