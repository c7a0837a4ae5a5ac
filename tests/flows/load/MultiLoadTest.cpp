// One image into several programmers at once, on the simulated bench in virtual time: each
// programmer gets, byte for byte, what a load of it alone sends it; one that fails drops out
// alone; Cancel stops all; the reload question is asked for each; and the set-up of many.
#include "flows/load/MultiLoad.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "flows/load/LoadFile.h"
#include "flows/single/MultiSetup.h"
#include "formats/DeviceDatabase.h"
#include "support/LoadRig.h"

namespace fd {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using test::Bytes;
using test::LoadRig;
using test::ReadyProgrammer;
using test::S2;
using test::Writes;
using test::kS9;

constexpr std::time_t kFileTime = 1'780'000'000;

// `count` pages from 0x4000, each holding 16 bytes at its start.
std::vector<std::string> Pages(int count) {
  std::vector<std::string> lines;
  for (int n = 0; n < count; ++n) {
    lines.push_back(S2(0x4000 + 0x100 * static_cast<std::uint32_t>(n), test::Counting(16, static_cast<std::uint8_t>(n * 16))));
  }
  lines.push_back(kS9);
  return lines;
}

// What a handle was sent from its 'D' (or 'B') announcement on.
Writes FromAnnouncement(const TracingBridge& tracing, BridgeHandle handle, std::uint8_t command = 'D') {
  Writes all = tracing.writesTo(handle);
  const auto first = std::find(all.begin(), all.end(), Bytes{command});
  return Writes(first, all.end());
}

ChosenImage ImageAt(const std::string& path, const std::string& title) {
  return ChosenImage{path, title, std::make_shared<SRecordFileSource>(path)};
}

// A station of programmers and a load of all of them.
struct Station {
  explicit Station(std::vector<SimProgrammerSetup> programmers) {
    for (auto& p : programmers) rig.bench.attach(std::move(p));
    rig.flow().open();
    rig.setAutoSave("1", "1");
    rig.prompter.clear();
  }
  std::vector<MultiLoadTarget> targets() {
    std::vector<MultiLoadTarget> out;
    for (std::size_t r = 0; r < rig.view().rows.size(); ++r) out.push_back({rig.view().rows[r].sn, rig.flow().handles()[r]});
    return out;
  }
  MultiLoadPorts ports() {
    MultiLoadPorts p{rig.state, rig.protocol, rig.timers, rig.clock, rig.single, {}, [this] { return rig.logTime; }};
    p.askReload = [this](const MultiLoadLine& line) {
      asked.push_back(line.sn);
      const auto it = answers.find(line.sn);
      return it == answers.end() ? MsgAnswer::Yes : it->second;
    };
    return p;
  }
  std::string image(const std::string& name, const std::vector<std::string>& lines) {
    rig.dir.write(name, test::SFile(lines));
    rig.touch(rig.dir.path(name), kFileTime);
    return rig.dir.path(name);
  }
  // Prepared, started and run to its end; `afterTick` may cancel.
  void load(MultiLoad& multi, const std::string& path, const std::function<void(int)>& afterTick = {}) {
    ASSERT_TRUE(multi.prepare(targets()));
    multi.start(ImageAt(path, std::filesystem::path(path).stem().string()));
    for (int tick = 1; multi.running() && tick < 100000; ++tick) {
      rig.clock.advanceUs(static_cast<std::uint64_t>(rig.timers.period(kTimerMultiLoad)) * 1000);
      multi.onTimer(kTimerMultiLoad);
      if (afterTick) afterTick(tick);
    }
  }
  BridgeHandle handle(std::size_t row) { return rig.flow().handles()[row]; }

  LoadRig rig;
  std::map<std::string, MsgAnswer> answers;
  std::vector<std::string> asked;
};

std::vector<SimProgrammerSetup> Ready(int count) {
  std::vector<SimProgrammerSetup> out;
  for (int i = 0; i < count; ++i) out.push_back(ReadyProgrammer("ZK40F8C12", "old", 1000));
  return out;
}

std::vector<std::string> TextsOf(const MultiLoadLine& line) {
  std::vector<std::string> texts;
  for (const LoadNote& note : line.notes) texts.push_back(note.text);
  return texts;
}

TEST(MultiLoadTest, EachProgrammerGetsExactlyTheBytesOfALoadOfItAlone) {
  for (const int pages : {5, 4, 1}) {
    SCOPED_TRACE(pages);
    Station many(Ready(3));
    const std::string path = many.image("image.mot", Pages(pages));
    MultiLoad multi(many.ports());
    many.load(multi, path);
    ASSERT_TRUE(multi.allSucceeded());
    for (std::size_t row = 0; row < 3; ++row) {
      SCOPED_TRACE(row);
      // The same programmer loaded alone, by the Load File command.
      LoadRig alone;
      for (auto& p : Ready(3)) alone.bench.attach(std::move(p));
      alone.offlineSet(static_cast<int>(row));
      alone.dir.write("image.mot", test::SFile(Pages(pages)));
      alone.touch(alone.dir.path("image.mot"), kFileTime);
      alone.prompter.chooseOpenNext(alone.dir.path("image.mot"));
      ASSERT_EQ(LoadFile(alone.ports).end, ImageOperationResult::End::Done);
      const Writes single = FromAnnouncement(alone.tracing, alone.handle);
      ASSERT_GT(single.size(), 4u);
      EXPECT_EQ(FromAnnouncement(many.rig.tracing, many.handle(row)), single);
      EXPECT_EQ(many.rig.programmer(row).image(), alone.programmer(row).image());
      EXPECT_FALSE(many.rig.programmer(row).storeDamaged());
      EXPECT_EQ(multi.lines()[row].pagesSent, static_cast<std::uint32_t>(pages));
      EXPECT_EQ(multi.lines()[row].percent, 100);
    }
    // One record per programmer under one date line.
    const std::string history = many.rig.history();
    for (const char* sn : {"No.01", "No.02", "No.03"}) EXPECT_THAT(history, HasSubstr(sn));
    EXPECT_EQ(std::count(history.begin(), history.end(), '|') % 3, 0);
    EXPECT_THAT(many.rig.prompter.texts(), ::testing::IsEmpty());  // the engine shows nothing itself
  }
}

TEST(MultiLoadTest, AProgrammerThatFailsDropsOutAloneWithItsMessagesAndASecondAnnouncement) {
  const struct {
    const char* name;
    SimErrorFault fault;
    std::string message;
  } cases[] = {
      {"StoreWriteFails", {'D', "page", 0x23, SimFaultAction::kError}, "Can not write to the on-board external flash!"},
      {"StoreStuck", {'D', "page", 0, SimFaultAction::kStuck}, kMsgTimeOut},
      {"DescriptorAnswersOddly", {'D', "descriptor", 0x01, SimFaultAction::kAnswer}, kMsgUnknownError},
      {"FinishRefused", {'D', "finish", 0x22, SimFaultAction::kError}, "Can not erase the on-board external flash!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Station station(Ready(3));
    SimFaults faults;
    faults.errors.push_back(c.fault);
    station.rig.programmer(1).setFaults(faults);
    const std::string path = station.image("image.mot", Pages(6));
    MultiLoad multi(station.ports());
    station.load(multi, path);
    const auto& lines = multi.lines();
    EXPECT_EQ(lines[0].state, LoadLineState::Loaded);
    EXPECT_EQ(lines[2].state, LoadLineState::Loaded);
    EXPECT_EQ(station.rig.programmer(0).image().size(), 6u);
    EXPECT_EQ(station.rig.programmer(2).image().size(), 6u);
    EXPECT_EQ(lines[1].state, LoadLineState::Failed);
    EXPECT_THAT(TextsOf(lines[1]), ElementsAre(c.message, kMsgStoreDamaged));
    EXPECT_TRUE(lines[1].storeDamaged);
    EXPECT_TRUE(station.rig.programmer(1).storeDamaged());
    // Announced twice: the load and the store left without a whole image.
    const Writes writes = station.rig.tracing.writesTo(station.handle(1));
    EXPECT_EQ(std::count(writes.begin(), writes.end(), Bytes{'D'}), 2);
    EXPECT_FALSE(multi.allSucceeded());
    EXPECT_THAT(station.rig.history(), ::testing::Not(HasSubstr("No.02")));
  }
}

TEST(MultiLoadTest, AProgrammerUnpluggedWhileItIsWaitedForDropsOutAtOnce) {
  Station station(Ready(3));
  SimFaults faults;
  faults.errors.push_back({'D', "descriptor", 0, SimFaultAction::kNoAnswer});
  station.rig.programmer(1).setFaults(faults);
  const std::string path = station.image("image.mot", Pages(6));
  MultiLoad multi(station.ports());
  std::uint64_t unpluggedAtUs = 0, endedAtUs = 0;
  station.load(multi, path, [&](int tick) {
    if (tick == 50) {  // the others are long done; programmer 02 is still waited for
      ASSERT_EQ(multi.lines()[1].state, LoadLineState::Describing);
      unpluggedAtUs = station.rig.clock.nowUs();
      ASSERT_TRUE(station.rig.bench.detach(1));
    }
    if (unpluggedAtUs != 0 && endedAtUs == 0 && multi.lines()[1].state == LoadLineState::Failed) {
      endedAtUs = station.rig.clock.nowUs();
    }
  });
  ASSERT_GT(unpluggedAtUs, 0u);
  ASSERT_GT(endedAtUs, 0u);
  EXPECT_LT(endedAtUs - unpluggedAtUs, 2'000'000u);
  EXPECT_EQ(multi.lines()[0].state, LoadLineState::Loaded);
  EXPECT_EQ(multi.lines()[2].state, LoadLineState::Loaded);
  EXPECT_EQ(TextsOf(multi.lines()[1]).front(), kMsgTimeOut);
}

TEST(MultiLoadTest, CancelStopsEveryProgrammerAndLeavesEachStoreDamaged) {
  Station station(Ready(3));
  const std::string path = station.image("image.mot", Pages(40));
  MultiLoad multi(station.ports());
  station.load(multi, path, [&](int tick) {
    if (tick == 5) multi.cancel();
  });
  for (std::size_t row = 0; row < 3; ++row) {
    const MultiLoadLine& line = multi.lines()[row];
    EXPECT_EQ(line.state, LoadLineState::Cancelled);
    EXPECT_THAT(TextsOf(line), ElementsAre(kMsgFileLoadingCanceled, kMsgStoreDamaged));
    EXPECT_GT(line.pagesSent, 0u);
    EXPECT_LT(line.pagesSent, 40u);
    EXPECT_TRUE(station.rig.programmer(row).storeDamaged());
    const Writes writes = station.rig.tracing.writesTo(station.handle(row));
    EXPECT_EQ(std::count(writes.begin(), writes.end(), Bytes{'D'}), 2);
  }
  EXPECT_FALSE(station.rig.timers.running(kTimerMultiLoad));
}

TEST(MultiLoadTest, TheReloadQuestionIsAskedForEachProgrammerThatHoldsTheFile) {
  Station station(Ready(4));
  const std::string path = station.image("image.mot", Pages(3));
  {
    MultiLoad first(station.ports());
    station.load(first, path);
    ASSERT_TRUE(first.allSucceeded());
  }
  EXPECT_TRUE(station.asked.empty());
  station.answers = {{"01", MsgAnswer::Yes}, {"02", MsgAnswer::No}, {"03", MsgAnswer::Cancel}};
  const std::size_t before = station.rig.tracing.entries().size();
  MultiLoad second(station.ports());
  ASSERT_TRUE(second.prepare(station.targets()));
  second.start(ImageAt(path, "image"));
  while (second.running()) {
    station.rig.clock.advanceUs(10'000);
    second.onTimer(kTimerMultiLoad);
  }
  EXPECT_THAT(station.asked, ElementsAre("01", "02", "03", "04"));
  EXPECT_EQ(second.lines()[0].state, LoadLineState::Loaded);
  EXPECT_EQ(second.lines()[1].state, LoadLineState::NameReloaded);
  EXPECT_EQ(second.lines()[2].state, LoadLineState::Kept);
  const auto sentSince = [&](std::size_t row) {
    Writes out;
    const auto& entries = station.rig.tracing.entries();
    for (std::size_t i = before; i < entries.size(); ++i) {
      if (entries[i].op == TraceEntry::Op::Write && entries[i].handle == station.handle(row)) out.push_back(entries[i].bytes);
    }
    return out;
  };
  const Writes name = sentSince(1);
  EXPECT_EQ(std::count(name.begin(), name.end(), Bytes{'B'}), 1);
  EXPECT_EQ(std::count(name.begin(), name.end(), Bytes{'D'}), 0);
  const Writes kept = sentSince(2);
  EXPECT_EQ(std::count(kept.begin(), kept.end(), Bytes{'B'}) + std::count(kept.begin(), kept.end(), Bytes{'D'}), 0);
  EXPECT_TRUE(second.allSucceeded() == false);
}

TEST(MultiLoadTest, ProgrammersThatCannotTakeTheImageAreRefusedAloneBeforeAnythingIsSent) {
  std::vector<SimProgrammerSetup> programmers = Ready(2);
  programmers.push_back(SimProgrammerSetup{});  // no product stored
  Station station(std::move(programmers));
  MultiLoad multi(station.ports());
  ASSERT_TRUE(multi.prepare(station.targets()));
  EXPECT_THAT(TextsOf(multi.lines()[2]), ElementsAre(kMsgNoProduct));
  ASSERT_TRUE(multi.commonMemoryMap());
  // A page beyond the product's user flash (0x14000) refuses the image for each.
  const std::string path = station.image("big.mot", {S2(0x14000, test::Counting(16)), kS9});
  multi.start(ImageAt(path, "big"));
  EXPECT_FALSE(multi.running());
  for (std::size_t row = 0; row < 2; ++row) {
    EXPECT_THAT(TextsOf(multi.lines()[row]), ElementsAre(kOutOfMemoryMapText));
    EXPECT_EQ(FromAnnouncement(station.rig.tracing, station.handle(row)).size(), 0u);
  }
}

TEST(MultiSetupTest, TheSameSetupGoesToEachProgrammerAndOneThatRefusesFailsAlone) {
  Station station(Ready(3));
  SimFaults faults;
  faults.errors.push_back({'B', "header", 0x12, SimFaultAction::kError});
  station.rig.programmer(2).setFaults(faults);
  SetupChange change;
  const auto line = FindProductLine(DeviceDatabasePath(station.rig.state), ProductKey("ZK40F20C12"));
  ASSERT_TRUE(line.ok() && line.value);
  change.productLine = std::string(*line.value);
  change.idCode = IdCode{1, 2, 3, 4, 5, 6, 7};
  change.power = 0x50;
  const std::vector<SetupLine> lines = SetUpProgrammers(station.rig.protocol, station.rig.state, station.targets(), change);
  ASSERT_EQ(lines.size(), 3u);
  for (std::size_t row = 0; row < 2; ++row) {
    EXPECT_TRUE(lines[row].written);
    const ProgrammerInfo& held = station.rig.programmer(row).setup().info;
    EXPECT_EQ(InfoMcuName(held), "ZK40F20C12  ");
    EXPECT_EQ(held[info::kPower], 0x50);
    EXPECT_EQ(held[info::kIdCode + 6], 7);
    EXPECT_EQ(InfoFileName(held).substr(0, 3), "old");  // the file it holds keeps its name
    // One header write, as the window's writes go: 'B', the CRC, the 71 bytes.
    const Writes writes = FromAnnouncement(station.rig.tracing, station.handle(row), 'B');
    ASSERT_GE(writes.size(), 3u);
    EXPECT_EQ(writes[1].size(), 2u);
    EXPECT_EQ(writes[2], Bytes(held.begin(), held.begin() + info::kHeaderSize));
  }
  EXPECT_FALSE(lines[2].written);
  EXPECT_THAT(lines[2].notes.front().text, HasSubstr("Verify error"));
  EXPECT_EQ(InfoMcuName(station.rig.programmer(2).setup().info), "ZK40F8C12   ");
}

TEST(MultiSetupTest, LikeCopiesProductIdAndPowerButNotTheFile) {
  std::vector<SimProgrammerSetup> programmers = Ready(1);
  programmers[0].info[info::kPower] = 0x30;
  programmers[0].info[info::kIdCode] = 0x42;
  programmers.push_back(SimProgrammerSetup{});
  programmers.push_back(ReadyProgrammer("ZK40F8C16", "other", 2000));
  Station station(std::move(programmers));
  const std::vector<MultiLoadTarget> all = station.targets();
  // A source with nothing to copy writes nothing anywhere.
  const std::vector<SetupLine> refused = SetUpLike(station.rig.protocol, station.rig.state, all[1], {all[2]});
  EXPECT_FALSE(refused[0].written);
  EXPECT_THAT(refused[0].notes.front().text, HasSubstr("holds no product"));
  EXPECT_EQ(FromAnnouncement(station.rig.tracing, all[2].handle, 'B').size(), 0u);

  const std::vector<SetupLine> lines =
      SetUpLike(station.rig.protocol, station.rig.state, all[0], {all[1], all[2]});
  ASSERT_EQ(lines.size(), 2u);
  const ProgrammerInfo& source = station.rig.programmer(0).setup().info;
  for (std::size_t k = 0; k < 2; ++k) {
    EXPECT_TRUE(lines[k].written);
    const ProgrammerInfo& held = station.rig.programmer(k + 1).setup().info;
    EXPECT_TRUE(std::equal(source.begin(), source.begin() + info::kFileName, held.begin()));
    EXPECT_TRUE(std::equal(source.begin() + info::kBlockTable, source.begin() + info::kHeaderSize,
                           held.begin() + info::kBlockTable));
  }
  EXPECT_EQ(InfoFileName(station.rig.programmer(2).setup().info).substr(0, 5), "other");
}

}  // namespace
}  // namespace fd
