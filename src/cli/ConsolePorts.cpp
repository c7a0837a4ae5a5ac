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
  err_ << caption << ": " << text << std::endl;
  shown_.push_back({caption, text});
  if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
  if (answer) {
    if (const std::optional<MsgAnswer> given = answer(text)) return *given;
  }
  unanswered_ = true;
  return buttons == MsgButtons::YesNoCancel ? MsgAnswer::Cancel : MsgAnswer::No;
}

}  // namespace fd
