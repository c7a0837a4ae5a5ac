#pragma once
// Message boxes and file choices as Qt dialogs, modal over the window that asks.
#include <QPointer>
#include <QString>
#include <QWidget>

#include "app/Prompter.h"

namespace fd {

// A Qt file-dialog filter from the program's filter text. Both "Name (*.a *.b)" entries
// separated by ";;" and the pipe form "Name|*.a;*.b|Other|*.*" are understood.
QString QtFileFilter(const std::string& filter);

class QtPrompter final : public Prompter {
public:
  // Boxes are shown over the modal window that is open, else over `parent`; with none,
  // over whichever window is active.
  explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}
  void setParent(QWidget* parent) { parent_ = parent; }

  MsgAnswer message(const std::string& caption, MsgIcon icon, const std::string& text,
                    MsgButtons buttons = MsgButtons::Ok) override;
  std::optional<std::string> chooseOpenFile(const FileChoice& choice) override;
  std::optional<std::string> chooseSaveFile(const FileChoice& choice) override;
  std::optional<std::string> askText(const std::string& title, const std::string& prompt) override;

private:
  QWidget* owner() const;

  QPointer<QWidget> parent_;
};

}  // namespace fd
