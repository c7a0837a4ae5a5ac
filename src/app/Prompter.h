#pragma once
// Message boxes, questions and file choices. The desktop shows real dialogs, the command
// line prints "CAPTION: text" and answers from its flags, tests script the answers.
#include <optional>
#include <string>

namespace fd {

enum class MsgIcon { None, Error, Warning, Question, Information };
enum class MsgButtons { Ok, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Yes, No, Cancel };

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
  virtual std::optional<std::string> chooseOpenFile(const FileChoice& choice) = 0;
  virtual std::optional<std::string> chooseSaveFile(const FileChoice& choice) = 0;
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
  void error(const std::string& text) { message(kCaptionError, MsgIcon::Error, text); }
  void warning(const std::string& text) { message(kCaptionWarning, MsgIcon::Warning, text); }
  void info(const std::string& text) { message(kCaptionInfo, MsgIcon::None, text); }
};

}  // namespace fd
