// The Loading window drawn over its flow on the simulated bench: what it shows as the pages
// go out, the clip that plays until the end, and Cancel, which the flow takes at its next tick.
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "flows/load/LoadingFlow.h"
#include "gui/app/QtDialogHost.h"
#include "gui/load/CFileDataDlg.h"
#include "gui/load/LoadingClip.h"
#include "support/LoadRig.h"
#include "support/ManualTimers.h"

namespace fd {
namespace {

using test::LoadRig;
using test::ReadyProgrammer;

class FileDataDlgTest : public ::testing::Test {
protected:
  FileDataDlgTest() {
    rig.bench.attach(ReadyProgrammer("ZK40F8C12", "old", 1000));
    rig.offlineSet();
    std::vector<std::string> lines;
    for (int n = 0; n < 30; ++n) lines.push_back(test::S2(0x4000 + 0x100 * n, test::Counting(16)));
    lines.push_back(test::kS9);
    path = rig.chooseMot("blinky_v4.mot", lines);
    rig.state.imagePath = path;
    rig.state.imageTitle = "blinky_v4";
    rig.windows.WriteProgrammerHeader(rig.handle, 1);
  }
  void tick(LoadingFlow& flow) {
    rig.clock.advanceUs(10000);
    flow.onTimer(kTimerSubWindow);
  }

  LoadRig rig;
  std::string path;
  test::ManualTimers timers;
};

TEST_F(FileDataDlgTest, ShowsTheFileTheBarAndTheClipUntilTheLoadEnds) {
  SRecordFileSource file(path);
  LoadingFlow flow(LoadingPorts{rig.state, rig.windows, rig.prompter, rig.clock, file});
  flow.open(timers);
  CFileDataDlg dialog(flow);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Loading"));
  EXPECT_EQ(dialog.fileName()->text(), QStringLiteral("blinky_v4.mot"));
  EXPECT_EQ(dialog.product()->text(), QStringLiteral("Programmer"));  // off-line: unchanged
  EXPECT_EQ(dialog.status()->text(), QStringLiteral("Wait for prepare load data..."));
  EXPECT_EQ(dialog.cancelButton()->text(), QStringLiteral("&Cancel"));
  EXPECT_TRUE(dialog.animationRunning());
  EXPECT_EQ(dialog.animation()->pixmap().size(), QSize(260, 40));
  EXPECT_EQ(LoadingClip().size(), 17u);
  // The clip moves: no two neighbouring frames are the same picture.
  for (std::size_t f = 1; f < LoadingClip().size(); ++f) {
    EXPECT_NE(LoadingClip()[f].toImage(), LoadingClip()[f - 1].toImage()) << f;
  }
  QLabel strip;
  QPixmap all(260, 40 * 17);
  all.fill(Qt::white);
  {
    QPainter painter(&all);
    for (std::size_t f = 0; f < LoadingClip().size(); ++f) painter.drawPixmap(0, static_cast<int>(40 * f), LoadingClip()[f]);
  }
  strip.setPixmap(all);
  strip.resize(all.size());
  test::SaveGrab(strip, QStringLiteral("flashdock-loading-clip"));

  tick(flow);  // convert
  tick(flow);  // describe
  for (int t = 0; t < 11; ++t) tick(flow);
  EXPECT_EQ(dialog.bar()->maximum(), 30);
  EXPECT_EQ(dialog.bar()->value(), 22);
  EXPECT_TRUE(dialog.status()->text().startsWith(QStringLiteral("Remain time: ")));
  test::SaveGrab(dialog, QStringLiteral("flashdock-loading"));
  test::ExpectCaptionsWhole(dialog, "flashdock-loading");
  while (!flow.ended()) tick(flow);
  EXPECT_EQ(flow.result(), FlowResult::Ok);
  EXPECT_FALSE(dialog.animationRunning());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(FileDataDlgTest, CancelAndTheCloseBoxEndTheWindowAtTheNextTick) {
  for (bool closeBox : {false, true}) {
    SCOPED_TRACE(closeBox);
    if (closeBox) rig.windows.WriteProgrammerHeader(rig.handle, 1);  // the first load's 'D' came with the fixture
    rig.prompter.clear();
    SRecordFileSource file(path);
    LoadingFlow flow(LoadingPorts{rig.state, rig.windows, rig.prompter, rig.clock, file});
    flow.open(timers);
    CFileDataDlg dialog(flow);
    dialog.show();
    tick(flow);
    tick(flow);
    tick(flow);
    if (closeBox) {
      dialog.reject();
    } else {
      dialog.cancelButton()->click();
    }
    EXPECT_FALSE(flow.ended());  // taken at the next tick
    tick(flow);
    EXPECT_EQ(flow.result(), FlowResult::Cancel);
    EXPECT_EQ(rig.prompter.texts(), std::vector<std::string>{kMsgFileLoadingCanceled});
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.animationRunning());
  }
}

TEST_F(FileDataDlgTest, OnlineTheWindowNamesTheProduct) {
  rig.state.offlineMode = 0;
  rig.state.productNumber = "ZK40F8C12   ";
  SRecordFileSource file(path);
  LoadingFlow flow(LoadingPorts{rig.state, rig.windows, rig.prompter, rig.clock, file});
  flow.open(timers);
  CFileDataDlg dialog(flow);
  EXPECT_EQ(dialog.product()->text(), QStringLiteral("ZK40F8C12   "));
}

TEST(LoadingDialogRegistry, TheLoadingFlowOpensItsWindow) {
  // Without a dialog class the host would end the flow at once without showing anything.
  test::LoadRig rig;
  rig.bench.attach(ReadyProgrammer("ZK40F8C12", "old", 1000));
  rig.offlineSet();
  SRecordFileSource file(rig.dir.path("none.mot"));
  rig.state.imageTitle = "none";
  LoadingFlow flow(LoadingPorts{rig.state, rig.windows, rig.prompter, rig.clock, file});
  QtDialogHost host;
  // The file is missing: the window opens, says so at its first tick and closes.
  EXPECT_EQ(host.run(flow), FlowResult::Cancel);
  EXPECT_EQ(rig.prompter.texts(), std::vector<std::string>{kCannotOpenFileText});
}

}  // namespace
}  // namespace fd
