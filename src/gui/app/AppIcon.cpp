#include "gui/app/AppIcon.h"

#include <QString>

// The resources live in a static library; they must be registered before first use.
static void InitFlashdockResources() {
  static const bool done = [] {
    Q_INIT_RESOURCE(flashdock);
    return true;
  }();
  (void)done;
}

namespace fd {

QIcon AppIcon() {
  InitFlashdockResources();
  QIcon icon;
  for (int size : {16, 32, 64}) icon.addFile(QStringLiteral(":/flashdock/icon-%1.png").arg(size), QSize(size, size));
  return icon;
}

QPixmap LogoPixmap() {
  InitFlashdockResources();
  return QPixmap(QStringLiteral(":/flashdock/logo.png"));
}

}  // namespace fd
