#pragma once
// The desktop program's command line: which bench or bridge to use, where its files live,
// where to trace the bridge.
#include <QString>
#include <QStringList>

#include "host/HostSession.h"

namespace fd {

struct GuiArgs {
  enum class Outcome { Run, Help, Error };
  Outcome outcome = Outcome::Run;
  HostOptions options;
  // --operator: the main window shows only what a line operator needs.
  bool operatorMode = false;
  QString message;  // the usage text (Help) or what is wrong (Error)
};

// `arguments` includes the program name first, as QCoreApplication::arguments() gives it.
GuiArgs ParseGuiArgs(const QStringList& arguments);

}  // namespace fd
