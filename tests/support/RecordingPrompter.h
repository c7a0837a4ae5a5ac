#pragma once
// A Prompter for tests: every message is recorded, questions are answered from a script,
// file choices come from a script too.
//
// Defaults when the script runs dry: a plain message is answered Ok; a question gets its
// first button (Yes), as pressing Enter on the default button would; a file choice is
// cancelled. Scripted answers are used by questions only, so an error box shown on the
// way never eats the answer meant for the next question.
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/Prompter.h"

namespace fd::test {

struct RecordedMessage {
  std::string caption;
  MsgIcon icon = MsgIcon::None;
  std::string text;
  MsgButtons buttons = MsgButtons::Ok;
  MsgAnswer answer = MsgAnswer::Ok;  // what the test's "user" answered
  std::optional<QuestionId> question;  // the question's identity; none for a plain message
};

class RecordingPrompter final : public Prompter {
public:
  MsgAnswer message(const std::string& caption, MsgIcon icon, const std::string& text,
                    MsgButtons buttons = MsgButtons::Ok) override;
  MsgAnswer ask(QuestionId id, const std::string& caption, MsgIcon icon, const std::string& text,
                MsgButtons buttons) override;
  std::optional<std::string> chooseOpenFile(const FileChoice& choice) override;
  std::optional<std::string> chooseSaveFile(const FileChoice& choice) override;

  // Script: the answers of the next questions, the next chosen files (nullopt = Cancel).
  void answerNext(MsgAnswer answer) { answers_.push_back(answer); }
  void chooseOpenNext(std::optional<std::string> path) { openFiles_.push_back(std::move(path)); }
  void chooseSaveNext(std::optional<std::string> path) { saveFiles_.push_back(std::move(path)); }
  std::size_t unusedAnswers() const { return answers_.size(); }
  // The next typed texts (nullopt = Cancel); none scripted: cancelled.
  void typeNext(std::optional<std::string> text) { texts_.push_back(std::move(text)); }
  std::optional<std::string> askText(const std::string&, const std::string& prompt) override {
    asked_.push_back(prompt);
    if (texts_.empty()) return std::nullopt;
    std::optional<std::string> text = std::move(texts_.front());
    texts_.pop_front();
    return text;
  }
  const std::vector<std::string>& textQuestions() const { return asked_; }

  // What was shown.
  const std::vector<RecordedMessage>& messages() const { return messages_; }
  std::vector<std::string> texts() const;           // the texts alone, in order
  std::vector<QuestionId> questions() const;        // the identities of the questions asked, in order
  const RecordedMessage* last() const { return messages_.empty() ? nullptr : &messages_.back(); }
  const std::vector<FileChoice>& openChoices() const { return openChoices_; }
  const std::vector<FileChoice>& saveChoices() const { return saveChoices_; }
  void clear();  // forgets what was shown, keeps the script

private:
  std::deque<MsgAnswer> answers_;
  std::deque<std::optional<std::string>> openFiles_;
  std::deque<std::optional<std::string>> saveFiles_;
  std::deque<std::optional<std::string>> texts_;
  std::vector<std::string> asked_;
  std::vector<RecordedMessage> messages_;
  std::vector<FileChoice> openChoices_;
  std::vector<FileChoice> saveChoices_;
};

}  // namespace fd::test
