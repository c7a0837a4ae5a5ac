// Off-line Set and On-line Test from the main window: the programmer is reset and read,
// the Single Operation window opens over it, and the list comes back afterwards.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "flows/single/IdCodeSetFlow.h"
#include "flows/single/PowerSetFlow.h"
#include "flows/single/SingleOperationFlow.h"
#include "support/SingleRig.h"

namespace fd {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

int Count(const TracingBridge& tracing, TraceEntry::Op op) {
  int n = 0;
  for (const auto& e : tracing.entries()) n += e.op == op;
  return n;
}

class MainFlowSingle : public ::testing::Test {
protected:
  void SetUp() override {
    main().dialogs = &rig.host;
    main().flow().open();
    main().tick(kTimerDetection);
  }
  test::MainRig& main() { return rig.main; }
  std::vector<bool> checks() {
    std::vector<bool> out;
    for (const auto& row : main().view().rows) out.push_back(row.checked);
    return out;
  }
  test::SingleRig rig;
};

TEST_F(MainFlowSingle, OffLineSetWritesTheChosenProductAndTheRowShowsItAfterReDetection) {
  main().flow().selectRow(1);
  main().flow().setChecked(2, false);
  int opens = 0;
  rig.host.script<SingleOperationFlow>([&](SingleOperationFlow& window) {
    // Detection rests while the window is open; the window sees the block just read.
    EXPECT_FALSE(main().timers.running(kTimerDetection));
    EXPECT_EQ(main().state.offlineMode, 1);
    EXPECT_EQ(window.view().productLabel, "ZK40G16B");
    opens = Count(main().tracing, TraceEntry::Op::Open);
    window.selectNode(0, 0);  // ZK40A1
    ASSERT_EQ(window.view().products.size(), 4u);
    window.selectProduct(1);
    window.writeProduct(1);
  });
  main().flow().offlineSet();
  EXPECT_THAT(rig.host.runs(), ElementsAre("Single Operation"));
  EXPECT_THAT(main().prompter.texts(), ElementsAre(kMsgNewProduct));
  // The list is detected afresh and shows what the programmer holds now.
  EXPECT_EQ(Count(main().tracing, TraceEntry::Op::Open), opens + 3);
  EXPECT_EQ(main().view().rows[1].cells[0], "ZK40A14S    ");
  EXPECT_EQ(main().view().rows[1].cells[1], "motor_ctl       ");  // 'B' keeps the stored image
  EXPECT_EQ(main().flow().selectedRow(), 1);
  EXPECT_THAT(checks(), ElementsAre(true, true, false));
  EXPECT_TRUE(main().timers.running(kTimerDetection));
  EXPECT_EQ(main().timers.period(kTimerDetection), 200);
}

TEST_F(MainFlowSingle, OnLineTestStoresTheSettingsAndLeavesTheListAsItWas) {
  main().flow().setChecked(0, false);
  rig.host.script<SingleOperationFlow>([&](SingleOperationFlow& window) {
    EXPECT_EQ(main().state.offlineMode, 0);
    window.selectNode(1, 0);  // ZK40F1
    window.selectProduct(0);
    window.setId();
    window.setPower();
  });
  rig.host.script<IdCodeSetFlow>([](IdCodeSetFlow& id) {
    id.setStringInput(true);
    id.setText("Bench-1");
    id.ok();
  });
  rig.host.script<PowerSetFlow>([](PowerSetFlow& power) {
    power.choose(PowerChoice::Output3V);
    power.ok();
  });
  const int opens = Count(main().tracing, TraceEntry::Op::Open);
  main().flow().onlineTest();
  EXPECT_THAT(rig.host.runs(), ElementsAre("Single Operation", "ID Setting", "Power Setting"));
  EXPECT_EQ(rig.setting(kKeyProductNumber), "ZK40F8C12");
  EXPECT_EQ(rig.setting(kKeyIdCode), "42656E63682D31");
  EXPECT_EQ(rig.setting(kKeyPowerSet), "30");
  EXPECT_EQ(Count(main().tracing, TraceEntry::Op::Open), opens);  // not rebuilt
  EXPECT_THAT(checks(), ElementsAre(false, true, true));
  EXPECT_THAT(main().prompter.messages(), IsEmpty());
  // The programmer's own store is left as it was.
  EXPECT_EQ(rig.programmer(0).info()[info::kPower], 0x50);
}

TEST_F(MainFlowSingle, AProgrammerThatCannotBeResetOrReadOpensNoWindow) {
  const struct {
    const char* name;
    bool busyAfterReset;
    const char* busyAfter;
    std::vector<std::string> messages;
  } cases[] = {
      {"reset", true, "", {kMsgCannotReset}},
      {"information read", false, "I", {}},  // the failed read shows nothing
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::SingleRig fresh;
    fresh.main.dialogs = &fresh.host;
    fresh.main.flow().open();
    fresh.programmer(0).faults().busyAfterReset = c.busyAfterReset;
    fresh.programmer(0).faults().busyAfterCommands = c.busyAfter;
    fresh.main.flow().offlineSet();
    EXPECT_THAT(fresh.host.runs(), IsEmpty());
    EXPECT_EQ(fresh.main.prompter.texts(), c.messages);
    EXPECT_TRUE(fresh.main.timers.running(kTimerDetection));
  }
}

TEST_F(MainFlowSingle, AfterAFailedReadTheNextTickDetectsTheProgrammersAfresh) {
  rig.programmer(0).faults().busyAfterCommands = "I";
  const BridgeHandle closed = main().state.currentHandle;
  main().flow().onlineTest();
  EXPECT_EQ(main().flow().handles()[0], kNoHandle);  // closed by the failed read
  rig.programmer(0).faults().busyAfterCommands.clear();
  main().tick(kTimerDetection);
  ASSERT_EQ(main().view().rows.size(), 3u);
  EXPECT_NE(main().flow().handles()[0], kNoHandle);
  EXPECT_NE(main().flow().handles()[0], closed);
  EXPECT_EQ(main().state.currentHandle, main().flow().handles()[0]);
}

TEST_F(MainFlowSingle, WithoutAWindowHostTheCommandsSayTheyAreNotAvailable) {
  test::MainRig plain;
  plain.bench.attach(test::ReadyProgrammer("ZK40F8C12", "app", 1000));
  plain.flow().open();
  plain.flow().offlineSet();
  EXPECT_THAT(plain.prompter.texts(), ElementsAre(kMsgSingleOperationNotBuilt));
}

}  // namespace
}  // namespace fd
