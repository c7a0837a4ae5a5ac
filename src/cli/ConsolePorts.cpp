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

MsgAnswer ConsolePrompter::message(const std::string& caption, MsgIcon, const std::string& text,
                                   MsgButtons buttons) {
  shown_.push_back({caption, text});
  if (buttons == MsgButtons::Ok) {
    err_ << caption << ": " << text << std::endl;
    return MsgAnswer::Ok;
  }
  if (answer) {
    if (const std::optional<MsgAnswer> given = answer(text)) {
      // Nobody is asked: say once which flag answered, not the question as if it waited.
      const std::string source = answerSource ? answerSource(text) : std::string();
      if (source.empty()) {
        err_ << caption << ": " << text << std::endl;
      } else {
        err_ << kCaptionInfo << ": \"" << text.substr(0, text.find('\n')) << "\" answered " << AnswerName(*given)
             << " by " << source << std::endl;
      }
      return *given;
    }
  }
  err_ << caption << ": " << text << std::endl;
  unanswered_ = true;
  return buttons == MsgButtons::YesNoCancel ? MsgAnswer::Cancel : MsgAnswer::No;
}

}  // namespace fd
