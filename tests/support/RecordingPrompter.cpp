#include "support/RecordingPrompter.h"

namespace fd::test {

MsgAnswer RecordingPrompter::message(const std::string& caption, MsgIcon icon, const std::string& text,
                                     MsgButtons buttons) {
  MsgAnswer answer = MsgAnswer::Ok;
  if (buttons != MsgButtons::Ok) {
    answer = MsgAnswer::Yes;
    if (!answers_.empty()) {
      answer = answers_.front();
      answers_.pop_front();
    }
  }
  messages_.push_back(RecordedMessage{caption, icon, text, buttons, answer, std::nullopt});
  return answer;
}

MsgAnswer RecordingPrompter::ask(QuestionId id, const std::string& caption, MsgIcon icon, const std::string& text,
                                 MsgButtons buttons) {
  // An OK-only question (the update's "click OK") is answered like a plain message.
  const MsgAnswer answer = message(caption, icon, text, buttons);
  messages_.back().question = id;
  return answer;
}

std::vector<QuestionId> RecordingPrompter::questions() const {
  std::vector<QuestionId> out;
  for (const RecordedMessage& m : messages_) {
    if (m.question) out.push_back(*m.question);
  }
  return out;
}

std::optional<std::string> RecordingPrompter::chooseOpenFile(const FileChoice& choice) {
  openChoices_.push_back(choice);
  if (openFiles_.empty()) return std::nullopt;
  std::optional<std::string> path = std::move(openFiles_.front());
  openFiles_.pop_front();
  return path;
}

std::optional<std::string> RecordingPrompter::chooseSaveFile(const FileChoice& choice) {
  saveChoices_.push_back(choice);
  if (saveFiles_.empty()) return std::nullopt;
  std::optional<std::string> path = std::move(saveFiles_.front());
  saveFiles_.pop_front();
  return path;
}

std::vector<std::string> RecordingPrompter::texts() const {
  std::vector<std::string> out;
  out.reserve(messages_.size());
  for (const RecordedMessage& m : messages_) out.push_back(m.text);
  return out;
}

void RecordingPrompter::clear() {
  messages_.clear();
  openChoices_.clear();
  saveChoices_.clear();
}

}  // namespace fd::test
