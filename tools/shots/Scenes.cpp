#include "Scenes.h"

#include <sys/stat.h>
#include <utime.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <cstdint>
#include <memory>
#include <vector>

#include "ShotKit.h"
#include "app/AppState.h"
#include "app/HistoryLog.h"
#include "app/SettingsFile.h"
#include "app/Startup.h"
#include "flows/common/WindowProtocol.h"
#include "flows/init/InitOptionsFlow.h"
#include "flows/load/LoadingFlow.h"
#include "flows/main/MainFlow.h"
#include "flows/memory/AddrFlow.h"
#include "flows/memory/EraseFlow.h"
#include "flows/memory/ReadFlow.h"
#include "flows/memory/TopAddrFlow.h"
#include "flows/single/IdCodeSetFlow.h"
#include "flows/single/PowerSetFlow.h"
#include "flows/single/SingleOperationFlow.h"
#include "flows/update/UpdateFlow.h"
#include "flows/update/UpdateMode.h"
#include "formats/FileIo.h"
#include "formats/SRecordWriter.h"
#include "gui/app/CInitDlg.h"
#include "gui/app/QtPrompter.h"
#include "gui/load/CFileDataDlg.h"
#include "gui/load/LoadingClip.h"
#include "gui/main/CAboutDlg.h"
#include "gui/main/CMainDlg.h"
#include "gui/memory/CAddrDlg.h"
#include "gui/memory/CEraseDlg.h"
#include "gui/memory/CReadDlg.h"
#include "gui/memory/CTopAddrDlg.h"
#include "gui/single/CIDCodeSetDlg.h"
#include "gui/single/CPowerSetDlg.h"
#include "gui/single/CSingleOperDlg.h"
#include "gui/update/CUpdateDlg.h"
#include "link/BootLoader.h"
#include "link/PowerCodes.h"
#include "link/Protocol.h"
#include "sim/SimBench.h"

namespace fd::shots {
namespace {

// Every picture is taken at the same moment, whenever the build runs.
constexpr LocalTime kShotTime{2025, 6, 2, 10, 15, 0};
// The files the scenes load are as old as each other at every build.
constexpr std::time_t kFileTime = 1748852100;  // 2025-06-02 08:15:00 UTC

// The product the scenes work with: the first demo programmer's, in its group of the tree.
constexpr const char* kProduct = "ZK40F8C12";
constexpr const char* kProductGroup = "ZK40F1";

// Bytes that look like a program: the same at every build, different on every line.
std::uint8_t CodeByte(std::uint32_t address) {
  std::uint32_t x = address * 2654435761u + 0x9E3779B9u;
  x ^= x >> 15;
  x *= 0x85EBCA6Bu;
  x ^= x >> 13;
  return static_cast<std::uint8_t>(x);
}

std::vector<std::uint8_t> CodeBytes(std::uint32_t start, std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = CodeByte(start + static_cast<std::uint32_t>(i));
  return bytes;
}

// An S-record file of `count` bytes of program from `start`, written into the app folder
// with a fixed modification time; its path, or "" when it cannot be written.
std::string WriteImageFile(const std::string& dir, const std::string& name, std::uint32_t start, std::size_t count) {
  const std::vector<std::uint8_t> bytes = CodeBytes(start, count);
  const SRecordText text = WriteSRecords(bytes, start);
  const std::string path = dir + name;
  if (!text.ok || !FileIo::replace(path, text.text)) return "";
  const utimbuf times{kFileTime, kFileTime};
  ::utime(path.c_str(), &times);
  return path;
}

// Everything the scenes share.
struct Studio {
  Studio(const QString& outDir, std::string appFolder, std::string resFolder)
      : camera(outDir, prompter), appDir(std::move(appFolder)), resDir(std::move(resFolder)) {}

  // A process state over the app folder, started as the program starts (the first run has
  // been made by the first scene).
  AppState state() const {
    AppState s;
    s.appDir = appDir;
    s.programDir = resDir;
    RunStartupHeadless(s);
    return s;
  }

  ShotPrompter prompter;
  Camera camera;
  std::string appDir;
  std::string resDir;
};

// The main window over its flow on a simulated bench, its timers run on the virtual clock.
struct MainScene {
  explicit MainScene(Studio& s, const std::function<void(SimBench&)>& prepare = {}) : studio(s), state(s.state()) {
    bench = SimBench::demo(clock);
    if (prepare) prepare(*bench);
    MainFlowPorts ports{state, *bench, pacer, studio.prompter, timers, opener, [] { return kShotTime; }, &host, &clock};
    flow = std::make_unique<MainFlow>(std::move(ports));
    window = std::make_unique<CMainDlg>(*flow);
  }
  ~MainScene() {
    window->close();  // every programmer released
    window.reset();
    flow.reset();
  }
  // Ticks of the window's timers until `done` holds; false when it never did.
  bool runUntil(const std::function<bool()>& done, int limit = 5000) {
    for (int n = 0; n < limit; ++n) {
      if (done()) return true;
      const int id = timers.waitNext();
      if (id < 0) return done();
      flow->onTimer(id);
    }
    return done();
  }

  Studio& studio;
  AppState state;
  VirtualClock clock;
  std::unique_ptr<SimBench> bench;
  ClockPacer pacer{clock};
  TimerLoop timers{clock};
  NoOpener opener;
  ShotHost host{clock};
  std::unique_ptr<MainFlow> flow;
  std::unique_ptr<CMainDlg> window;
};

std::string HostSurprises(const ShotHost& host) {
  std::string text;
  for (const std::string& s : host.surprises()) text += (text.empty() ? "" : "; ") + s;
  return text;
}

// --- the scenes ---

void FirstRun(Studio& studio) {
  const char* name = "first-run.png";
  AppState state;
  state.appDir = studio.appDir;
  state.programDir = studio.resDir;
  VirtualClock clock;
  ShotHost host(clock);
  host.on<InitOptionsFlow, CInitDlg>([&](InitOptionsFlow& flow, CInitDlg& dialog, OpenWindow&) {
    studio.camera.shoot(dialog, name);
    flow.ok();
  });
  const StartupReport report = RunStartup(state, host);
  studio.camera.require(report.firstRun && report.initiationShown, name, "the first run showed no Initiation window");
  if (!host.surprises().empty()) studio.camera.fail(name, HostSurprises(host));
}

void About(Studio& studio) {
  CAboutDlg about;
  about.show();
  studio.camera.shoot(about, "about.png");
}

void MainWindowAndGangRun(Studio& studio) {
  MainScene scene(studio);
  CMainDlg& window = *scene.window;
  window.show();  // the first detection runs as the window opens
  QTableWidget& list = *window.list();
  if (studio.camera.require(list.rowCount() == 3, "main-window.png", "the demo bench's three programmers are not listed")) {
    studio.camera.shoot(window, "main-window.png");
  }

  // The run part way: every bar shown and moving, none of them at either end.
  const char* run = "main-gang-run.png";
  window.startButton()->click();
  if (!studio.camera.require(scene.flow->runPhase() == RunPhase::Running, run, "the gang run did not start")) return;
  const auto partWay = [&] {
    int least = 100;
    for (int r = 0; r < 3; ++r) {
      const QProgressBar* bar = window.progressBar(r);
      if (!bar->isVisible()) return false;
      least = std::min(least, bar->value());
    }
    return least >= 30;
  };
  if (studio.camera.require(scene.runUntil(partWay), run, "the bars never stood part way together")) {
    studio.camera.shoot(window, run);
  }
  scene.runUntil([&] { return scene.flow->runPhase() != RunPhase::Running; });
}

void GangResultsAndMessageBox(Studio& studio) {
  // The second programmer's board is not in its socket.
  MainScene scene(studio, [](SimBench& bench) { bench.programmer(1).target().present = false; });
  CMainDlg& window = *scene.window;
  window.show();
  const char* results = "main-gang-results.png";
  if (!studio.camera.require(window.list()->rowCount() == 3, results, "the demo bench's three programmers are not listed")) {
    return;
  }
  window.startButton()->click();
  scene.runUntil([&] { return scene.flow->runPhase() != RunPhase::Running; });
  if (studio.camera.require(scene.flow->runPhase() == RunPhase::Results, results, "the gang run showed no results")) {
    bool failed = false, succeeded = false;
    for (const MainRow& row : scene.flow->view().rows) (row.failed ? failed : succeeded) = true;
    if (studio.camera.require(failed && succeeded, results, "the results show no failed programmer beside a good one")) {
      studio.camera.shoot(window, results);
    }
  }
  window.startButton()->click();  // Back

  // The box an operation on that programmer shows, as the desktop draws it: its product
  // chosen on-line, the target connected before an erase or a read.
  const char* box = "message-box.png";
  QtPrompter boxes(&window);
  Protocol protocol(*scene.bench, scene.pacer);
  WindowProtocol link(scene.state, protocol, boxes);
  scene.state.productNumber = "ZK40G16B    ";
  scene.state.mcuTypeCode = '3';
  scene.state.powerSet = kPowerCode3V;
  bool shown = false;
  QElapsedTimer waited;
  waited.start();
  auto* poll = new QTimer;
  poll->setInterval(0);
  QObject::connect(poll, &QTimer::timeout, poll, [&] {
    auto* modal = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    // Taken once the box is up and active, as a user sees it; never waited for long.
    const bool ready = modal != nullptr && modal->isVisible() && modal->isActiveWindow();
    if (!ready && waited.elapsed() < 10000) return;
    poll->stop();
    shown = ready && modal->windowTitle() == QString::fromLatin1(kCaptionError);
    if (shown) studio.camera.shoot(*modal, box);
    if (modal != nullptr) modal->done(QMessageBox::Ok);
  });
  poll->start();
  const int connected = link.ConnectTarget(scene.flow->handles()[1]);
  delete poll;
  studio.camera.require(shown && connected == 0, box, "the failed connection showed no ERROR box");
}

// The Single Operation window off-line with its ID, Power and Loading windows, then on-line
// with its Erase, Address Setting, Read and Top Address windows.
void SingleOperation(Studio& studio) {
  MainScene scene(studio, [](SimBench& bench) {
    // What the first programmer's board holds: a program at the start of its user flash.
    SimTarget& target = bench.programmer(0).target();
    for (std::uint16_t page = 0x040; page < 0x046; ++page) {
      SimPage bytes;
      for (std::uint32_t i = 0; i < bytes.size(); ++i) bytes[i] = CodeByte(page * 256u + i);
      target.memory[page] = bytes;
    }
  });
  Camera& camera = studio.camera;
  MainFlow& main = *scene.flow;
  ShotHost& host = scene.host;
  const std::string image = WriteImageFile(studio.appDir, "blinky_v4.mot", 0x04000, 40 * 256);
  if (image.empty()) {
    camera.fail("loading.png", "cannot write the image file to load");
    return;
  }

  // The product chosen in the tree and the list, as a click does.
  const auto chooseProduct = [](CSingleOperDlg& dialog) {
    QTreeWidget& tree = *dialog.tree();
    const auto groups = tree.findItems(QString::fromLatin1(kProductGroup), Qt::MatchStartsWith | Qt::MatchRecursive);
    if (groups.isEmpty()) return false;
    tree.expandItem(groups.front()->parent());
    tree.setCurrentItem(groups.front());
    QTableWidget& list = *dialog.list();
    for (int r = 0; r < list.rowCount(); ++r) {
      if (list.item(r, 0)->text().trimmed() == QString::fromLatin1(kProduct)) {
        list.setCurrentCell(r, 0);
        return dialog.productLabel()->text().trimmed() == QString::fromLatin1(kProduct);
      }
    }
    return false;
  };

  host.on<IdCodeSetFlow, CIDCodeSetDlg>([&](IdCodeSetFlow&, CIDCodeSetDlg& dialog, OpenWindow&) {
    camera.shoot(dialog, "id-code.png");
  });
  host.on<PowerSetFlow, CPowerSetDlg>([&](PowerSetFlow&, CPowerSetDlg& dialog, OpenWindow&) {
    camera.shoot(dialog, "power.png");
  });
  host.on<LoadingFlow, CFileDataDlg>([&](LoadingFlow& flow, CFileDataDlg& dialog, OpenWindow& window) {
    const char* name = "loading.png";
    const auto partWay = [&] {
      const LoadingView& view = flow.view();
      return view.barRange > 0 && view.barPosition * 100 >= view.barRange * 55;
    };
    if (camera.require(window.tickUntil(partWay), name, "the load never reached half way")) {
      // The clip moves by the wall clock: one frame of it, the same at every build.
      camera.shoot(dialog, name, [&] { dialog.animation()->setPixmap(LoadingClip()[6]); });
    }
    window.tickUntil([&] { return flow.ended(); });
  });
  host.on<SingleOperationFlow, CSingleOperDlg>([&](SingleOperationFlow&, CSingleOperDlg& dialog, OpenWindow&) {
    const char* name = "single-operation.png";
    if (camera.require(chooseProduct(dialog), name, "the product could not be chosen in the tree and the list")) {
      camera.shoot(dialog, name);
    }
    dialog.setIdButton()->click();
    dialog.setPowerButton()->click();
    studio.prompter.pickNext(image);
    dialog.loadFileButton()->click();
  });
  main.open();
  main.selectRow(0);
  main.offlineSet();

  // On-line: the product, the ID code and the power the first programmer's board takes.
  SettingsFile settings(studio.appDir + kSettingsFileName);
  settings.write(kSectionProgrammer, kKeyProductNumber, kProduct);
  settings.write(kSectionProgrammer, kKeyPowerSet, "50");
  host.on<EraseFlow, CEraseDlg>([&](EraseFlow& flow, CEraseDlg& dialog, OpenWindow&) {
    const char* name = "erase.png";
    if (camera.require(flow.view().rows.size() >= 4, name, "the product's blocks are not listed")) {
      flow.setChecked(2, true);
      flow.setChecked(3, true);
      camera.shoot(dialog, name);
    }
  });
  host.on<AddrFlow, CAddrDlg>([&](AddrFlow& flow, CAddrDlg& dialog, OpenWindow&) {
    flow.setStartText("04000");
    flow.setEndText("047FF");
    camera.shoot(dialog, "address.png");
    flow.ok();
  });
  host.on<TopAddrFlow, CTopAddrDlg>([&](TopAddrFlow&, CTopAddrDlg& dialog, OpenWindow&) {
    camera.shoot(dialog, "top-address.png");
  });
  host.on<ReadFlow, CReadDlg>([&](ReadFlow& flow, CReadDlg& dialog, OpenWindow& window) {
    const char* name = "read.png";
    const bool read = window.tickUntil([&] { return flow.complete(); });
    if (camera.require(read && dialog.hexView()->count() == 128, name, "the range was not read whole")) {
      camera.shoot(dialog, name);
    }
    dialog.addressButton()->click();
  });
  studio.prompter.answer(QuestionId::SaveReadData, MsgAnswer::No);
  host.on<SingleOperationFlow, CSingleOperDlg>([&](SingleOperationFlow&, CSingleOperDlg& dialog, OpenWindow&) {
    dialog.eraseButton()->click();
    dialog.readButton()->click();
  });
  main.selectRow(0);
  main.onlineTest();
  if (!host.surprises().empty()) camera.fail("single-operation.png", HostSurprises(host));
}

void FirmwareUpdate(Studio& studio) {
  const char* name = "firmware-update.png";
  AppState state = studio.state();
  VirtualClock clock;
  SimBench bench(clock);
  SimProgrammerSetup jumpered;
  jumpered.updateJumpers = true;  // the programmer waits in its boot loader
  bench.attach(jumpered);
  ClockPacer pacer(clock);
  ShotHost host(clock);
  // The programmer's own flash: every page the update erases, the last one included.
  const std::uint32_t first = std::uint32_t{boot::kBlockPages.back()} * 256;
  const std::string file = WriteImageFile(studio.appDir, "flashdock_fw_1_1.mot", first, (0x100000 - first));
  if (!studio.camera.require(!file.empty(), name, "cannot write the firmware file")) return;
  studio.prompter.pickNext(file);
  host.on<UpdateFlow, CUpdateDlg>([&](UpdateFlow& flow, CUpdateDlg& dialog, OpenWindow& window) {
    if (studio.camera.require(window.tickUntil([&] { return dialog.progressBar()->value() >= 60; }), name,
                              "the update never reached its pages")) {
      studio.camera.shoot(dialog, name);
    }
    window.tickUntil([&] { return flow.ended(); }, 100000);
  });
  const UpdateOutcome outcome = RunUpdateMode(UpdateModePorts{state, bench, pacer, studio.prompter, host, clock});
  studio.camera.require(outcome == UpdateOutcome::Updated, name, "the update did not end as done");
  if (!host.surprises().empty()) studio.camera.fail(name, HostSurprises(host));
}

}  // namespace

std::vector<std::string> TakeShots(const QString& outDir, const std::string& appDir, const std::string& resDir) {
  Studio studio(outDir, appDir, resDir);
  // Each scene starts with a program that has said nothing yet.
  const std::vector<void (*)(Studio&)> scenes = {FirstRun, About, MainWindowAndGangRun, GangResultsAndMessageBox,
                                                 SingleOperation, FirmwareUpdate};
  for (const auto scene : scenes) {
    studio.prompter.clear();
    scene(studio);
  }
  std::vector<std::string> failures = studio.camera.failures();
  for (const char* name : kShotNames) {
    bool said = false;
    for (const std::string& f : failures) said = said || f.rfind(std::string(name) + ":", 0) == 0;
    if (!studio.camera.taken(name) && !said) failures.push_back(std::string(name) + ": the window was never shown");
  }
  return failures;
}

}  // namespace fd::shots
