#pragma once
// The command line's message box: messages on stderr as "CAPTION: text"; questions are
// answered by their identity from the command's flags.
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>
#include <optional>

#include "app/Prompter.h"

namespace fd {

class ConsolePrompter final : public Prompter {
public:
  explicit ConsolePrompter(std::ostream& err) : err_(err) {}
  MsgAnswer message(const std::string& caption, MsgIcon icon, const std::string& text,
                    MsgButtons buttons) override;
  std::optional<std::string> chooseOpenFile(const FileChoice&) override { return std::nullopt; }
  void silentFailure(const std::string& text) override { error(text); }
  // "ERROR: Can not open selected file! The file "x.mot" is a folder."
  void fileError(const std::string& text, const std::string& reason) override {
    error(reason.empty() ? text : text + " " + reason);
  }
  // The file named on the command line, given once: asked again (after a No to replacing
  // it) the choice is cancelled, so a question is never asked in a loop.
  std::optional<std::string> chooseSaveFile(const FileChoice&) override { return std::exchange(saveAs, std::nullopt); }
  std::optional<std::string> saveAs;

  // A question a flow asks, answered by its identity from the command's flags.
  MsgAnswer ask(QuestionId id, const std::string& caption, MsgIcon icon, const std::string& text,
                MsgButtons buttons) override;

  // The answer to question `id`; none from `given`: this run has no answer for it. `flag`
  // names what gave it (e.g. "--if-same reload"): the question is then not printed as if
  // asked, one line says the flag answered it. Without a flag the command answers it
  // itself and the question is printed as the message it is.
  using Answer = std::function<std::optional<MsgAnswer>()>;
  void answer(QuestionId id, Answer given, std::string flag = {});
  void answer(QuestionId id, MsgAnswer given, std::string flag = {});

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
  struct Given {
    Answer answer;
    std::string flag;
  };
  std::map<QuestionId, Given> answers_;
};

// "Yes", "No", "Cancel", "OK".
const char* AnswerName(MsgAnswer answer);

}  // namespace fd
