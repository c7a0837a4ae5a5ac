#include "ShotKit.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>
#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fd::shots {

MsgAnswer ShotPrompter::message(const std::string& caption, MsgIcon icon, const std::string& text, MsgButtons buttons) {
  if (icon == MsgIcon::Error || icon == MsgIcon::Warning) complaints_.push_back(caption + ": " + text);
  return buttons == MsgButtons::Ok ? MsgAnswer::Ok : MsgAnswer::Yes;
}

MsgAnswer ShotPrompter::ask(QuestionId id, const std::string& caption, MsgIcon icon, const std::string& text,
                            MsgButtons buttons) {
  const auto answer = answers_.find(id);
  if (answer != answers_.end()) return answer->second;
  return message(caption, icon, text, buttons);
}

std::optional<std::string> ShotPrompter::chooseOpenFile(const FileChoice&) {
  if (picks_.empty()) return std::nullopt;
  std::string path = std::move(picks_.front());
  picks_.pop_front();
  return path;
}

std::optional<std::string> ShotPrompter::chooseSaveFile(const FileChoice&) { return std::nullopt; }

void Settle() {
  for (int turn = 0; turn < 4; ++turn) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
}

bool Camera::shoot(QWidget& window, const std::string& name, const std::function<void()>& lastTouch) {
  if (!prompter_.complaints().empty()) {
    fail(name, "the program said \"" + prompter_.complaints().front() + "\"");
    return false;
  }
  if (!require(window.isVisible(), name, "the window is not shown")) return false;
  Settle();
  if (lastTouch) lastTouch();
  const QPixmap picture = window.grab();
  if (!require(!picture.isNull() && picture.width() > 0 && picture.height() > 0, name, "the grab came back empty")) {
    return false;
  }
  // Written whole under another name first: a picture is either the new one or absent.
  const QString path = QDir(outDir_).filePath(QString::fromStdString(name));
  const QString partial = path + QStringLiteral(".part");
  if (!picture.save(partial, "PNG")) {
    QFile::remove(partial);
    fail(name, "cannot write " + partial.toStdString());
    return false;
  }
  std::error_code error;
  std::filesystem::rename(partial.toStdString(), path.toStdString(), error);
  if (error) {
    QFile::remove(partial);
    fail(name, "cannot write " + path.toStdString() + ": " + error.message());
    return false;
  }
  taken_.push_back(name);
  return true;
}

void Camera::fail(const std::string& name, const std::string& why) {
  failures_.push_back(name + ": " + why);
  // A picture from an earlier run must not pass for this one.
  QFile::remove(QDir(outDir_).filePath(QString::fromStdString(name)));
}

bool Camera::require(bool ok, const std::string& name, const std::string& why) {
  if (!ok) fail(name, why);
  return ok;
}

bool Camera::taken(const std::string& name) const {
  return std::find(taken_.begin(), taken_.end(), name) != taken_.end();
}

bool OpenWindow::tick() {
  if (flow_.ended()) return false;
  const int id = timers_.waitNext();
  if (id < 0) return false;
  flow_.onTimer(id);
  return true;
}

bool OpenWindow::tickUntil(const std::function<bool()>& done, int limit) {
  for (int n = 0; n < limit; ++n) {
    if (done()) return true;
    if (!tick()) return done();
  }
  return done();
}

FlowResult ShotHost::run(ModalFlow& flow) {
  const auto window = windows_.find(std::type_index(typeid(flow)));
  if (window == windows_.end()) {
    // Nothing to picture here: the window is closed as soon as it opens.
    surprises_.push_back("the window \"" + flow.title() + "\" opened unexpectedly");
    flow.open();
    if (!flow.ended()) flow.closeBox();
    return flow.result();
  }
  // As the desktop does it: the dialog first, then the flow opens with its own timers.
  std::unique_ptr<FlowDialog> dialog = window->second.make(flow);
  TimerLoop timers(clock_);
  OpenWindow open(flow, timers);
  flow.open(timers);
  if (!flow.ended()) {
    dialog->show();
    window->second.script(flow, *dialog, open);
  }
  // The user closes the window; one that works on (an update under way) runs to its end.
  for (int n = 0; n < 100000 && !flow.ended(); ++n) {
    flow.closeBox();
    if (!flow.ended() && !open.tick()) break;
  }
  if (!flow.ended()) surprises_.push_back("the window \"" + flow.title() + "\" did not close");
  timers.stopAll();
  dialog->hide();
  return flow.result();
}

}  // namespace fd::shots
