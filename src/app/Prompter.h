#pragma once
// Message boxes, questions and file choices. The desktop shows real dialogs, the command
// line prints "CAPTION: text" and answers from its flags, tests script the answers.
#include <optional>
#include <string>
#include <vector>

namespace fd {

enum class MsgIcon { None, Error, Warning, Question, Information };
enum class MsgButtons { Ok, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Yes, No, Cancel };

// The questions the flows ask, each by its identity, so a host that answers without a
// person (the command line, a test) never has to recognise a question by its words.
enum class QuestionId {
  ReloadSameFile,     // Load File: the programmer holds this very file (Yes reload, No name only)
  IdFill,             // ID Setting: fill a short ID code with 0xC3
  EraseCompleted,     // Erase: the erase is done, leave erase mode
  ExchangeAddresses,  // Address Setting: the start is above the end, swap them
  SaveReadData,       // Read: save the data read before the window closes
  OverwriteFile,      // Save: replace the file that exists
  EnterUpdateMode,    // Firmware update: insert the programmer and click OK
  BinaryBaseAddress,  // A binary image: the address its first byte goes to
};

// A stable name for each question, e.g. "reloadSameFile" (logs, JSON, test output).
constexpr const char* QuestionName(QuestionId id) {
  switch (id) {
    case QuestionId::ReloadSameFile: return "reloadSameFile";
    case QuestionId::IdFill: return "idFill";
    case QuestionId::EraseCompleted: return "eraseCompleted";
    case QuestionId::ExchangeAddresses: return "exchangeAddresses";
    case QuestionId::SaveReadData: return "saveReadData";
    case QuestionId::OverwriteFile: return "overwriteFile";
    case QuestionId::EnterUpdateMode: return "enterUpdateMode";
    case QuestionId::BinaryBaseAddress: return "binaryBaseAddress";
  }
  return "";
}

inline constexpr const char* kCaptionError = "ERROR";
inline constexpr const char* kCaptionWarning = "WARNING";
inline constexpr const char* kCaptionInfo = "INFO";

struct FileChoice {
  std::string title;
  std::string filter;      // e.g. "S-record files (*.mot)"
  std::string directory;   // where the dialog starts
  std::string fileName;    // proposed name (save)
  // Save: the dialog asks before it picks an existing file; off where the caller asks.
  bool confirmOverwrite = true;
};

class Prompter {
public:
  virtual ~Prompter() = default;
  virtual MsgAnswer message(const std::string& caption, MsgIcon icon, const std::string& text,
                            MsgButtons buttons = MsgButtons::Ok) = 0;
  // A question of a flow, with its identity. A window shows it as a message box (the
  // default); a host without a person answers it by `id`.
  virtual MsgAnswer ask(QuestionId id, const std::string& caption, MsgIcon icon, const std::string& text,
                        MsgButtons buttons) {
    (void)id;
    return message(caption, icon, text, buttons);
  }
  virtual std::optional<std::string> chooseOpenFile(const FileChoice& choice) = 0;
  virtual std::optional<std::string> chooseSaveFile(const FileChoice& choice) = 0;
  // A line of text typed by the user (a binary image's base address); nothing when the
  // question is cancelled, and by default, where nobody can be asked.
  virtual std::optional<std::string> askText(const std::string& /*title*/, const std::string& /*prompt*/) {
    return std::nullopt;
  }

  // An error about a file whose cause the file layer knows ("... is a folder"): the windows
  // show `text` alone, as they always did; the command line adds the reason.
  virtual void fileError(const std::string& text, const std::string& reason) {
    (void)reason;
    error(text);
  }

  // A failure the windows pass over without a word (a programmer whose answer never came):
  // the command line must not end without saying it.
  virtual void silentFailure(const std::string& text) { (void)text; }

  // The three kinds of plain message the program shows.
  void error(const std::string& text);
  void warning(const std::string& text);
  void info(const std::string& text);
};

// While it lives, every plain message a Prompter shows (error, warning, info) is kept here,
// whoever shows it: an operation's record tells what its window said without each step
// passing its text along. Watches nest; the innermost one is told.
class MessageWatch {
public:
  struct Shown {
    MsgIcon icon;
    std::string text;
  };
  MessageWatch();
  ~MessageWatch();
  MessageWatch(const MessageWatch&) = delete;
  MessageWatch& operator=(const MessageWatch&) = delete;

  static void tell(MsgIcon icon, const std::string& text);
  const std::vector<Shown>& shown() const { return shown_; }
  // What the operation's end said: its first error, else its first message; empty when
  // nothing was shown.
  std::string resultText() const;

private:
  std::vector<Shown> shown_;
  MessageWatch* previous_;
};

}  // namespace fd
