#include "gui/sim/BenchMenu.h"

#include <QAction>
#include <QMenu>
#include <cstdint>

#include "sim/SimBench.h"

namespace fd {

void AddBenchMenuEntries(QMenu& menu, SimBench& bench) {
  QAction* attach = menu.addAction(QStringLiteral("Attach a simulated programmer"));
  QObject::connect(attach, &QAction::triggered, &menu, [&bench] { bench.attach(); });
  std::uint32_t count = 0;
  if (bench.BridgeGetNumDevices(count) != kBridgeOk) return;
  for (std::uint32_t index = 0; index < count; ++index) {
    QAction* unplug = menu.addAction(QStringLiteral("Unplug simulated programmer %1").arg(index + 1));
    QObject::connect(unplug, &QAction::triggered, &menu, [&bench, index] { bench.detach(index); });
  }
}

}  // namespace fd
