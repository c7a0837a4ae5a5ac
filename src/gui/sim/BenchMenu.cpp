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
  // The bench's programmers that are not plugged in (unplugged here, "attached": false in the
  // bench file, or whose link was lost), by their place in the bench file, counted from 1.
  for (std::size_t slot = 0; slot < bench.programmerCount(); ++slot) {
    if (bench.deviceIndexOf(slot)) continue;
    QAction* plug = menu.addAction(QStringLiteral("Plug in bench programmer %1 again").arg(slot + 1));
    QObject::connect(plug, &QAction::triggered, &menu, [&bench, slot] { bench.reattach(slot); });
  }
}

}  // namespace fd
