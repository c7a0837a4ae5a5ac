#pragma once
// What the pictures are taken with: a camera that saves a laid-out, painted window as a PNG
// and keeps every failure; a message box that answers for the user and remembers what the
// program said; and a host that opens each sub-window as its real dialog, shown without a
// modal loop, runs a scene's script in it and drives its timers on the virtual clock.
#include <QString>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <typeindex>
#include <vector>

#include "app/DocumentOpener.h"
#include "app/Prompter.h"
#include "flows/common/DialogHost.h"
#include "flows/common/TimerLoop.h"
#include "gui/app/FlowDialog.h"
#include "link/Clock.h"

class QWidget;

namespace fd::shots {

// The program's messages, answered as a user at the bench would; errors and warnings are
// kept, since a picture taken after one would show a window in a state it should not be in.
class ShotPrompter final : public Prompter {
public:
  MsgAnswer message(const std::string& caption, MsgIcon icon, const std::string& text, MsgButtons buttons) override;
  MsgAnswer ask(QuestionId id, const std::string& caption, MsgIcon icon, const std::string& text,
                MsgButtons buttons) override;
  std::optional<std::string> chooseOpenFile(const FileChoice& choice) override;
  std::optional<std::string> chooseSaveFile(const FileChoice& choice) override;

  // The file the next open-file dialog picks.
  void pickNext(std::string path) { picks_.push_back(std::move(path)); }
  // How a question is answered; unlisted ones get their first button, as Enter would.
  void answer(QuestionId id, MsgAnswer answer) { answers_[id] = answer; }
  // The errors and warnings shown since the last clear(), as "CAPTION: text".
  const std::vector<std::string>& complaints() const { return complaints_; }
  void clear() { complaints_.clear(); }

private:
  std::deque<std::string> picks_;
  std::map<QuestionId, MsgAnswer> answers_;
  std::vector<std::string> complaints_;
};

// Log and Help are never pressed; nothing is opened.
class NoOpener final : public DocumentOpener {
public:
  bool openDocument(const std::string&) override { return false; }
};

class Camera {
public:
  Camera(QString outDir, const ShotPrompter& prompter) : outDir_(std::move(outDir)), prompter_(prompter) {}

  // Saves `window` as NAME.png once its layout, its item views and its painting are done.
  // `lastTouch` runs right before the grab (for what moves by the wall clock). Refused,
  // as a failure, when the program has complained since the scene began.
  bool shoot(QWidget& window, const std::string& name, const std::function<void()>& lastTouch = {});
  // A picture that cannot be taken as it should be.
  void fail(const std::string& name, const std::string& why);
  // `ok`, or a failure of NAME saying `why`.
  bool require(bool ok, const std::string& name, const std::string& why);

  bool taken(const std::string& name) const;
  const std::vector<std::string>& failures() const { return failures_; }

private:
  QString outDir_;
  const ShotPrompter& prompter_;
  std::vector<std::string> taken_;
  std::vector<std::string> failures_;
};

// Lets a window's layout, item views and painting catch up: posted events and a few turns
// of the event loop, no more (no real time is waited for).
void Settle();

// A sub-window open in the host: its timers on the virtual clock.
class OpenWindow {
public:
  OpenWindow(ModalFlow& flow, TimerLoop& timers) : flow_(flow), timers_(timers) {}
  // One tick of the window's earliest timer, the clock moved to it; false when the flow
  // has ended or no timer runs.
  bool tick();
  // Ticks until `done` holds (true) or `limit` ticks have passed, the flow ended or no
  // timer runs (false).
  bool tickUntil(const std::function<bool()>& done, int limit = 2000);

private:
  ModalFlow& flow_;
  TimerLoop& timers_;
};

class ShotHost final : public DialogHost {
public:
  explicit ShotHost(Clock& clock) : clock_(clock) {}

  // The dialog D draws flow F; `script` runs once it is shown. Afterwards the window is
  // closed with its close box, and a window that refuses runs on to its end. A later
  // registration for F replaces the earlier one.
  template <class F, class D>
  void on(std::function<void(F&, D&, OpenWindow&)> script) {
    windows_[std::type_index(typeid(F))] = {
        [](ModalFlow& flow) { return std::unique_ptr<FlowDialog>(new D(static_cast<F&>(flow))); },
        [script](ModalFlow& flow, FlowDialog& dialog, OpenWindow& window) {
          script(static_cast<F&>(flow), static_cast<D&>(dialog), window);
        }};
  }

  FlowResult run(ModalFlow& flow) override;

  // Windows the program opened that no scene expected, or that never ended.
  const std::vector<std::string>& surprises() const { return surprises_; }

private:
  struct Window {
    std::function<std::unique_ptr<FlowDialog>(ModalFlow&)> make;
    std::function<void(ModalFlow&, FlowDialog&, OpenWindow&)> script;
  };
  Clock& clock_;
  std::map<std::type_index, Window> windows_;
  std::vector<std::string> surprises_;
};

}  // namespace fd::shots
