#include "flows/single/SingleOperationFlow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "flows/memory/AddrFlow.h"
#include "flows/memory/EraseFlow.h"
#include "flows/memory/ReadFlow.h"
#include "flows/single/IdCodeSetFlow.h"
#include "flows/single/PowerSetFlow.h"
#include "link/Frames.h"
#include "support/SingleRig.h"

namespace fd {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Bytes = std::vector<std::uint8_t>;
using test::SingleRig;

// Everything written to the handle after its last 'B', joined: the header frame.
Bytes HeaderFrameSent(const TracingBridge& tracing, BridgeHandle handle) {
  const auto writes = tracing.writesTo(handle);
  for (std::size_t i = writes.size(); i-- > 0;) {
    if (writes[i] != Bytes{kCmdHeader}) continue;
    Bytes frame;
    for (std::size_t k = i + 1; k < writes.size() && k <= i + 2; ++k) frame.insert(frame.end(), writes[k].begin(), writes[k].end());
    return frame;
  }
  return {};
}

int HeaderWrites(const TracingBridge& tracing, BridgeHandle handle) {
  int n = 0;
  for (const auto& w : tracing.writesTo(handle)) n += w == Bytes{kCmdHeader};
  return n;
}

std::string StoredName(const ProgrammerInfo& block) {
  return std::string(block.begin() + info::kNames, block.begin() + info::kNames + info::kMcuNameSize);
}

class SingleOperationFlowTest : public ::testing::Test {
protected:
  void SetUp() override { rig.prepare(); }
  BridgeHandle handle() const { return rig.main.state.currentHandle; }
  SingleRig rig;
};

TEST_F(SingleOperationFlowTest, OpensWithTheButtonsOfItsModeTheLabelsAndTheTree) {
  const struct {
    bool offline;
    bool loadFile, erase, program, read;
    const char* product;
    const char* power;
  } cases[] = {
      // Off-line the labels come from the programmer (the demo's first holds ZK40F8C12 at 5 V),
      // on-line from the settings file of a first run.
      {true, true, false, false, false, "ZK40F8C12", "Output 5.0V"},
      {false, false, true, true, true, "Not select", "Do not output"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.offline);
    const auto& view = rig.open(c.offline).view();
    EXPECT_EQ(view.offline, c.offline);
    EXPECT_EQ(view.loadFileVisible, c.loadFile);
    EXPECT_EQ(view.eraseVisible, c.erase);
    EXPECT_EQ(view.programVisible, c.program);
    EXPECT_EQ(view.readVisible, c.read);
    EXPECT_EQ(view.productLabel, c.product);
    EXPECT_EQ(view.powerLabel, c.power);
    ASSERT_EQ(view.tree.size(), 5u);
    EXPECT_EQ(view.tree[1].text, "ZK40F     ");
    EXPECT_THAT(view.tree[1].groups, ElementsAre("ZK40F1    ", "ZK40F2    ", "ZK40F3    "));
    EXPECT_THAT(view.products, IsEmpty());
    EXPECT_FALSE(view.listEnabled);
    EXPECT_EQ(rig.flow().title(), "Single Operation");
  }
  EXPECT_THAT(rig.main.prompter.messages(), IsEmpty());
}

TEST_F(SingleOperationFlowTest, AGroupFillsAndEnablesTheListASeriesEmptiesAndDisablesIt) {
  auto& flow = rig.open(true);
  rig.selectGroup("ZK40F1");
  EXPECT_THAT(flow.view().products,
              ElementsAre(ProductRow{"ZK40F8C12   ", "64K+2K  "}, ProductRow{"ZK40F8C16   ", "48K+2K  "},
                          ProductRow{"ZK40F20C12  ", "64K+4K  "}));
  EXPECT_TRUE(flow.view().listEnabled);
  flow.selectProduct(1);
  flow.selectNode(2, -1);  // the series ZK40G
  EXPECT_THAT(flow.view().products, IsEmpty());
  EXPECT_FALSE(flow.view().listEnabled);
  EXPECT_EQ(flow.view().selectedProduct, -1);
  EXPECT_EQ(flow.view().selectedSeries, 2);
}

TEST_F(SingleOperationFlowTest, WithoutTheDatabaseEveryReadSaysSoAndTheWindowStaysUsable) {
  rig.main.state.programDir = rig.main.dir.path("nowhere/");
  auto& flow = rig.open(false);
  // On-line the refresh reads it too, before the tree does.
  EXPECT_THAT(rig.main.prompter.texts(), ElementsAre(kMcuFileMissingText, kMcuFileMissingText));
  EXPECT_EQ(rig.main.prompter.last()->caption, kCaptionError);
  EXPECT_THAT(flow.view().tree, IsEmpty());
  flow.setPower();  // the product is not selected
  EXPECT_EQ(rig.main.prompter.last()->text, kMsgNoProduct);
}

TEST_F(SingleOperationFlowTest, ADatabaseInTheAppFolderComesBeforeTheShippedOne) {
  rig.main.dir.write(kDeviceDatabaseFileName,
                     "; ours\r\n"
                     ":2 BENCH     BENCH1    BENCH-MCU   64K     01 00 64K  04000\r\n");
  auto& flow = rig.open(true);
  ASSERT_EQ(flow.view().tree.size(), 1u);
  EXPECT_EQ(flow.view().tree[0].text, "BENCH     ");
  rig.choose("BENCH1", "BENCH-MCU");
  EXPECT_EQ(flow.view().productLabel, "BENCH-MCU");
}

TEST_F(SingleOperationFlowTest, OffLineAChosenProductShowsAtOnceAndReachesTheProgrammerOnADoubleClick) {
  auto& flow = rig.open(true);
  const ProgrammerInfo before = rig.programmer().info();
  const int row = rig.choose("ZK40F1", "ZK40F8C16");
  EXPECT_EQ(flow.view().productLabel, "ZK40F8C16");
  EXPECT_EQ(flow.view().powerLabel, "Output 5.0V");
  EXPECT_EQ(rig.programmer().info(), before);  // nothing sent yet
  EXPECT_EQ(HeaderWrites(rig.main.tracing, handle()), 0);

  ASSERT_TRUE(flow.writeProduct(row));
  EXPECT_THAT(rig.main.prompter.texts(), ElementsAre(kMsgNewProduct));
  EXPECT_EQ(rig.main.prompter.last()->caption, kCaptionInfo);
  EXPECT_EQ(rig.main.prompter.last()->icon, MsgIcon::None);

  // The header: type code, power and ID code as stored, the name, the block table of the
  // product (data blocks 0A and 0B, then the first user block), everything else as read.
  ProgrammerInfo expected = before;
  expected[info::kTypeCode] = '2';
  const std::string name = "ZK40F8C16   ";
  std::copy(name.begin(), name.end(), expected.begin() + info::kNames);
  std::fill(expected.begin() + info::kBlockTable, expected.begin() + info::kHeaderSize, 0xFF);
  const std::uint8_t table[] = {0x24, 0x00, 0x28, 0x00, 0x40, 0x00};
  std::copy(std::begin(table), std::end(table), expected.begin() + info::kBlockTable);
  const HeaderFrame frame = MakeHeaderFrame(expected.data());
  EXPECT_EQ(HeaderFrameSent(rig.main.tracing, handle()), Bytes(frame.begin(), frame.end()));
  EXPECT_EQ(StoredName(rig.programmer().info()), name);
  EXPECT_EQ(rig.programmer().info()[info::kPower], 0x50);
  EXPECT_EQ(rig.programmer().info()[info::kFileSize], before[info::kFileSize]);  // 'B' keeps the image
}

TEST_F(SingleOperationFlowTest, OnLineAChosenProductIsStoredAtOnceAndADoubleClickSendsNothing) {
  auto& flow = rig.open(false);
  const int row = rig.choose("ZK40G1", "ZK40G16B");
  EXPECT_EQ(rig.setting(kKeyProductNumber), "ZK40G16B");
  EXPECT_EQ(rig.main.state.productNumber, "ZK40G16B    ");
  EXPECT_EQ(flow.view().productLabel, "ZK40G16B");
  EXPECT_EQ(rig.main.state.mcuTypeCode, '3');
  EXPECT_EQ(rig.main.state.userFlashStart, 0xE0000u);
  EXPECT_EQ(rig.main.state.userFlashEnd, 0x100000u);
  EXPECT_EQ(rig.main.state.dataFlashEnd, 0u);
  EXPECT_FALSE(flow.writeProduct(row));
  EXPECT_EQ(HeaderWrites(rig.main.tracing, handle()), 0);
  flow.closeBox();
  EXPECT_EQ(rig.setting(kKeyProductNumber), "ZK40G16B");
  EXPECT_THAT(rig.main.prompter.messages(), IsEmpty());
}

TEST_F(SingleOperationFlowTest, OnLineRefreshReadsProductPowerAndIdFromTheSettingsFile) {
  auto settings = rig.settings();
  settings.write(kSectionProgrammer, kKeyProductNumber, "ZK40F8C12");
  settings.write(kSectionProgrammer, kKeyPowerSet, "3F");
  settings.write(kSectionProgrammer, kKeyIdCode, "0102030405");
  auto& flow = rig.open(false);
  EXPECT_EQ(flow.view().productLabel, "ZK40F8C12");
  EXPECT_EQ(rig.main.state.productNumber, "ZK40F8C12   ");
  EXPECT_EQ(rig.main.state.mcuTypeCode, '2');
  EXPECT_EQ(rig.main.state.dataFlashStart, 0x2400u);
  EXPECT_EQ(rig.main.state.dataFlashEnd, 0x2C00u);
  // "3F" is read whole: not a code the label knows.
  EXPECT_EQ(rig.main.state.powerSet, 0x3F);
  EXPECT_EQ(flow.view().powerLabel, "Do not output");
  EXPECT_EQ(rig.main.state.idCode, (IdCode{1, 2, 3, 4, 5, 0, 0}));  // missing pairs read 0

  // The same "3F" opens the Power window with 3 V set: it looks at the first character.
  PowerChoice opened = PowerChoice::NoOutput;
  rig.host.script<PowerSetFlow>([&](PowerSetFlow& power) { opened = power.view().choice; });
  EXPECT_FALSE(flow.setPower());  // closed without OK
  EXPECT_EQ(opened, PowerChoice::Output3V);
}

TEST_F(SingleOperationFlowTest, OnLineWithoutAProductSetIdAndSetPowerOpenNothing) {
  // A settings file without a product name counts as no product, not as a product "".
  for (const char* stored : {"Not select", ""}) {
    SCOPED_TRACE(stored);
    rig.main.prompter.clear();
    rig.settings().write(kSectionProgrammer, kKeyProductNumber, stored);
    auto& flow = rig.open(false);
    EXPECT_EQ(flow.view().productLabel, "Not select");
    EXPECT_FALSE(flow.setId());
    EXPECT_FALSE(flow.setPower());
    EXPECT_THAT(rig.main.prompter.texts(), ElementsAre(kMsgNoProduct, kMsgNoProduct));
    EXPECT_EQ(rig.main.prompter.last()->caption, kCaptionWarning);
    EXPECT_EQ(rig.main.prompter.last()->icon, MsgIcon::Warning);
    EXPECT_THAT(rig.host.runs(), IsEmpty());
  }
}

TEST_F(SingleOperationFlowTest, OffLineWithNoProductStoredTheLabelSaysSoAndSetIdRefuses) {
  rig.main.state.programmerInfo.fill(0xFF);  // as a programmer with nothing stored reads
  auto& flow = rig.open(true);
  EXPECT_EQ(flow.view().productLabel, "Not select");
  EXPECT_EQ(flow.view().powerLabel, "Do not output");
  EXPECT_FALSE(flow.setId());
  EXPECT_FALSE(flow.setPower());
  EXPECT_THAT(rig.main.prompter.texts(), ElementsAre(kMsgNoProduct, kMsgNoProduct));
  EXPECT_THAT(rig.host.runs(), IsEmpty());
}

TEST_F(SingleOperationFlowTest, OffLineSetIdAndSetPowerWriteTheHeaderAndLeaveTheSettingsFileAlone) {
  const std::string fileBefore = rig.main.dir.read(kSettingsFileName);
  auto& flow = rig.open(true);
  rig.host.script<IdCodeSetFlow>([](IdCodeSetFlow& id) {
    id.setText("0011223344556F");
    id.ok();
  });
  rig.host.script<PowerSetFlow>([](PowerSetFlow& power) {
    power.choose(PowerChoice::Output3V);
    power.ok();
  });
  ASSERT_TRUE(flow.setId());
  ASSERT_TRUE(flow.setPower());
  EXPECT_THAT(rig.main.prompter.texts(), ElementsAre(kMsgNewId, kMsgNewPower));
  EXPECT_THAT(rig.host.runs(), ElementsAre("ID Setting", "Power Setting"));
  const ProgrammerInfo& stored = rig.programmer().info();
  EXPECT_THAT(Bytes(stored.begin() + info::kIdCode, stored.begin() + info::kIdCode + 7),
              ElementsAre(0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x6F));
  EXPECT_EQ(stored[info::kPower], 0x30);
  EXPECT_EQ(StoredName(stored), "ZK40F8C12   ");
  EXPECT_EQ(flow.view().powerLabel, "Output 3.0V");
  EXPECT_EQ(HeaderWrites(rig.main.tracing, handle()), 2);
  EXPECT_EQ(rig.main.dir.read(kSettingsFileName), fileBefore);
}

TEST_F(SingleOperationFlowTest, OnLineSetIdAndSetPowerStoreTheSettingsAndSendNothing) {
  rig.settings().write(kSectionProgrammer, kKeyProductNumber, "ZK40F8C12");
  auto& flow = rig.open(false);
  rig.host.script<IdCodeSetFlow>([](IdCodeSetFlow& id) {
    id.setText("12345678");
    id.ok();  // the fill question: the recording prompter answers Yes
  });
  rig.host.script<PowerSetFlow>([](PowerSetFlow& power) {
    power.choose(PowerChoice::Output5V);
    power.ok();
  });
  ASSERT_TRUE(flow.setId());
  ASSERT_TRUE(flow.setPower());
  EXPECT_EQ(rig.setting(kKeyIdCode), "C3C3C312345678");
  EXPECT_EQ(rig.setting(kKeyPowerSet), "50");
  EXPECT_EQ(rig.main.state.idCode, (IdCode{0xC3, 0xC3, 0xC3, 0x12, 0x34, 0x56, 0x78}));
  EXPECT_EQ(rig.main.state.powerSet, 0x50);
  EXPECT_EQ(flow.view().powerLabel, "Output 5.0V");
  EXPECT_THAT(rig.main.prompter.texts(), ElementsAre(kMsgIdFillQuestion));
  EXPECT_EQ(HeaderWrites(rig.main.tracing, handle()), 0);
}

TEST_F(SingleOperationFlowTest, OnLineACancelledPowerWindowStillRefreshesTheLabels) {
  rig.settings().write(kSectionProgrammer, kKeyProductNumber, "ZK40F8C12");
  auto& flow = rig.open(false);
  EXPECT_EQ(flow.view().powerLabel, "Do not output");
  rig.host.script<PowerSetFlow>([&](PowerSetFlow&) { rig.settings().write(kSectionProgrammer, kKeyPowerSet, "30"); });
  EXPECT_FALSE(flow.setPower());
  EXPECT_EQ(flow.view().powerLabel, "Output 3.0V");
}

TEST_F(SingleOperationFlowTest, AHeaderWriteThatFailsShowsOnlyTheProgrammersMessage) {
  rig.programmer().faults().errors.push_back({'B', "header", 0x23});
  auto& flow = rig.open(true);
  const int row = rig.choose("ZK40F1", "ZK40F8C16");
  EXPECT_FALSE(flow.writeProduct(row));
  EXPECT_THAT(rig.main.prompter.texts(), ElementsAre("Can not write to the on-board external flash!"));
  EXPECT_EQ(StoredName(rig.programmer().info()), "ZK40F8C12   ");
}

TEST_F(SingleOperationFlowTest, OperationsOfLaterVersionsSayTheyAreNotAvailable) {
  auto& online = rig.open(false);
  online.program();
  online.loadFile();  // not shown on-line
  auto& offline = rig.open(true);
  offline.loadFile();
  offline.erase();  // not shown off-line
  offline.read();
  EXPECT_THAT(rig.main.prompter.texts(), ElementsAre(kMsgProgramNotBuilt, kMsgLoadFileNotBuilt));
  EXPECT_TRUE(rig.host.runs().empty());
  EXPECT_EQ(rig.main.prompter.last()->caption, kCaptionInfo);
  EXPECT_EQ(HeaderWrites(rig.main.tracing, handle()), 0);
}

TEST_F(SingleOperationFlowTest, EraseAndReadOnLineConnectOpenTheirWindowsAndResetWithTheMark) {
  rig.settings().write(kSectionProgrammer, kKeyPowerSet, "50");  // the demo target takes 5 V
  auto& online = rig.open(false);
  rig.choose("ZK40F1", "ZK40F8C12");
  rig.host.script<EraseFlow>([](EraseFlow& f) {
    f.setChecked(0, true);
    f.ok();
  });
  rig.host.script<AddrFlow>([](AddrFlow& f) {
    f.setChecked(1, true);
    f.ok();
  });
  rig.main.prompter.answerNext(MsgAnswer::Yes);  // Erase completed. Exit erase mode?
  rig.main.prompter.answerNext(MsgAnswer::No);   // Save the data to file?
  rig.main.tracing.clear();
  online.erase();
  online.read();
  EXPECT_THAT(rig.host.runs(), ElementsAre("Erase", "Address Setting", "Read"));
  EXPECT_THAT(rig.main.prompter.texts(), ElementsAre(kMsgEraseCompleted, kMsgSaveBeforeClose));
  const auto writes = rig.main.tracing.writesTo(handle());
  int connects = 0, marks = 0;
  for (const auto& w : writes) {
    connects += w == std::vector<std::uint8_t>{'C'};
    marks += w == std::vector<std::uint8_t>{'L', 0x02};
  }
  EXPECT_EQ(connects, 2) << "each operation connects the target first";
  EXPECT_EQ(marks, 2) << "and resets the programmer with its mark afterwards";
  EXPECT_EQ(rig.main.state.readStart, 0x2800);
  EXPECT_EQ(rig.main.state.readEnd, 0x2BFF);
}

}  // namespace
}  // namespace fd
