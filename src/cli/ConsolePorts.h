#pragma once
// The ports of the command line: messages on stderr as "CAPTION: text", timers run by a
// loop that sleeps (in the session's time) until the next one is due.
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "app/Prompter.h"
#include "app/Timers.h"

namespace fd {

class Clock;

class ConsolePrompter final : public Prompter {
public:
  explicit ConsolePrompter(std::ostream& err) : err_(err) {}
  MsgAnswer message(const std::string& caption, MsgIcon icon, const std::string& text,
                    MsgButtons buttons) override;
  std::optional<std::string> chooseOpenFile(const FileChoice&) override { return std::nullopt; }
  std::optional<std::string> chooseSaveFile(const FileChoice&) override { return std::nullopt; }

  struct Shown {
    std::string caption;
    std::string text;
  };
  const std::vector<Shown>& shown() const { return shown_; }
  // True once a question came that no flag answers: the command ends as a usage error.
  bool unanswered() const { return unanswered_; }

private:
  std::ostream& err_;
  std::vector<Shown> shown_;
  bool unanswered_ = false;
};

class ConsoleTimers final : public Timers {
public:
  explicit ConsoleTimers(Clock& clock) : clock_(clock) {}
  void start(int id, int periodMs) override;
  void stop(int id) override;
  bool anyRunning() const { return !timers_.empty(); }
  // Sleeps until the earliest running timer is due and returns its id (-1: none runs).
  int waitNext();

private:
  struct Entry {
    std::uint64_t periodUs;
    std::uint64_t dueUs;
  };
  Clock& clock_;
  std::map<int, Entry> timers_;
};

}  // namespace fd
