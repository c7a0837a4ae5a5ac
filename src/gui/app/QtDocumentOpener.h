#pragma once
// Opens a document (the history log, the manual) in the desktop's viewer for its type.
#include <QUrl>
#include <functional>

#include "app/DocumentOpener.h"

namespace fd {

class QtDocumentOpener final : public DocumentOpener {
public:
  using Launcher = std::function<bool(const QUrl&)>;
  // `launcher` hands the URL to the desktop; QDesktopServices::openUrl when empty.
  explicit QtDocumentOpener(Launcher launcher = {});

  // False for a missing file, a folder, or a desktop that could not start a viewer.
  bool openDocument(const std::string& path) override;

private:
  Launcher launcher_;
};

}  // namespace fd
