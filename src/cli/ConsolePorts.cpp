#include "cli/ConsolePorts.h"

#include <algorithm>

namespace fd {

const char* AnswerName(MsgAnswer answer) {
  switch (answer) {
    case MsgAnswer::Yes: return "Yes";
    case MsgAnswer::No: return "No";
    case MsgAnswer::Cancel: return "Cancel";
    case MsgAnswer::Ok: return "OK";
  }
  return "";
}

void ConsolePrompter::answer(QuestionId id, Answer given, std::string flag) {
  answers_[id] = Given{std::move(given), std::move(flag)};
}

void ConsolePrompter::answer(QuestionId id, MsgAnswer given, std::string flag) {
  answer(id, [given]() -> std::optional<MsgAnswer> { return given; }, std::move(flag));
}

namespace {

// What a question nobody answered comes to: the choice that changes nothing.
MsgAnswer Unanswered(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::YesNo: return MsgAnswer::No;
    case MsgButtons::YesNoCancel:
    case MsgButtons::Ok: return MsgAnswer::Cancel;
  }
  return MsgAnswer::Cancel;
}

}  // namespace

MsgAnswer ConsolePrompter::message(const std::string& caption, MsgIcon, const std::string& text,
                                   MsgButtons buttons) {
  shown_.push_back({caption, text});
  err_ << caption << ": " << text << std::endl;
  if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
  // A question without an identity cannot be answered from a flag.
  unanswered_ = true;
  return Unanswered(buttons);
}

MsgAnswer ConsolePrompter::ask(QuestionId id, const std::string& caption, MsgIcon, const std::string& text,
                               MsgButtons buttons) {
  shown_.push_back({caption, text});
  const auto found = answers_.find(id);
  if (found != answers_.end() && found->second.answer) {
    if (const std::optional<MsgAnswer> given = found->second.answer()) {
      // Nobody is asked: say once which flag answered, not the question as if it waited.
      if (found->second.flag.empty()) {
        err_ << caption << ": " << text << std::endl;
      } else {
        err_ << kCaptionInfo << ": \"" << text.substr(0, text.find('\n')) << "\" answered " << AnswerName(*given)
             << " by " << found->second.flag << std::endl;
      }
      return *given;
    }
  }
  err_ << caption << ": " << text << std::endl;
  unanswered_ = true;
  return Unanswered(buttons);
}

}  // namespace fd
