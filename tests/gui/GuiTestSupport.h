#pragma once
// What the desktop tests share: one QApplication for the whole run, and window grabs for
// looking at the windows by eye.
#include <QString>
#include <functional>

class QWidget;

namespace fd::test {

// Saves a picture of `widget` as NAME.png into the folder named by FLASHDOCK_GRAB_DIR;
// does nothing when that variable is not set.
void SaveGrab(QWidget& widget, const QString& name);

// Runs `action` as soon as the next modal dialog has opened (a message box, a file
// dialog), with that dialog; used to answer boxes a click opens.
void OnNextModal(std::function<void(QWidget*)> action);

}  // namespace fd::test
