#pragma once
// The program's icon (the task bar, every window's title bar, the About box) and the
// logo shown in the main window.
#include <QIcon>
#include <QPixmap>

namespace fd {

QIcon AppIcon();
QPixmap LogoPixmap();

}  // namespace fd
