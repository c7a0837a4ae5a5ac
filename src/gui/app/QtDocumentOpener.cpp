#include "gui/app/QtDocumentOpener.h"

#include <QDesktopServices>
#include <QFileInfo>

namespace fd {

QtDocumentOpener::QtDocumentOpener(Launcher launcher) : launcher_(std::move(launcher)) {
  if (!launcher_) launcher_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

bool QtDocumentOpener::openDocument(const std::string& path) {
  // The desktop may report success for a file that is not there and show its own error
  // later; asking first lets the program give its own message at once.
  const QFileInfo info(QString::fromStdString(path));
  if (path.empty() || !info.isFile()) return false;
  return launcher_(QUrl::fromLocalFile(info.absoluteFilePath()));
}

}  // namespace fd
