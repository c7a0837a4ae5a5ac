#pragma once
// What the desktop tests share: one QApplication for the whole run, and window grabs for
// looking at the windows by eye.
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>

class QWidget;
struct QMetaObject;

namespace fd::test {

// Saves a picture of `widget` as NAME.png into the folder named by FLASHDOCK_GRAB_DIR;
// does nothing when that variable is not set.
void SaveGrab(QWidget& widget, const QString& name);

// Every caption of `window` shows whole, in the window: the texts of its labels, buttons,
// radio and check boxes, group boxes and visible column headers, each measured with the
// control's own font against the room its style gives the text; a label lying on a group
// box stays inside the box's frame.
void ExpectCaptionsWhole(QWidget& window, const char* shown);

// Runs `action` as soon as a modal dialog has opened (a message box, a file dialog), with
// that dialog; used to answer boxes a click opens. With `type`, only a dialog of that class
// counts. Delete the returned watch to stop waiting (null once it has acted).
// With `ready`, the dialog must also satisfy it (say, show what its opening produces).
QPointer<QTimer> OnNextModal(std::function<void(QWidget*)> action, const QMetaObject* type = nullptr,
                             std::function<bool(QWidget*)> ready = {});

}  // namespace fd::test
