// Resets and information reads of several programmers at once: each programmer, taken
// alone, sees exactly what the operation on it alone sends it, while all of them share the
// waits: one pulse, and one pause per round of status reads.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "link/Protocol.h"
#include "support/MainRig.h"
#include "support/SequentialReference.h"
#include "support/SpyPacer.h"

namespace fd {
namespace {

using test::SequentialInfoRead;
using test::SequentialReset;
using test::TraceOf;

// Programmers in virtual time behind a traced bridge, each opened with the link settings.
// Letters: 'o' a good one, 'b' stays busy after every reset, 'i' never answers 'I', 'u' is
// unplugged in the middle of its information block, 'c' its handle is closed beforehand.
struct Station {
  explicit Station(const std::string& letters) : bench(clock), tracing(bench), pacer(clock), protocol(tracing, pacer) {
    for (const char letter : letters) {
      SimProgrammerSetup setup = test::ReadyProgrammer("ZK40F8C12", "app", 1000);
      setup.faults.busyAfterReset = letter == 'b';
      if (letter == 'i') setup.faults.busyAfterCommands = "I";
      if (letter == 'u') setup.faults.linkLostAfter = 1 + 40;  // 'I', then 40 of its 89 bytes
      bench.attach(setup);
    }
    for (std::uint32_t i = 0; i < letters.size(); ++i) {
      BridgeHandle h = kNoHandle;
      bench.BridgeOpen(i, h);
      bench.BridgeSetTimeouts(kBridgeTimeoutMs, kBridgeTimeoutMs);
      bench.BridgeSetBaudRate(h, kNormalBaud);
      bench.BridgeSetLineControl(h, kLineControl8N1);
      if (letters[i] == 'c') bench.BridgeClose(h);
      handles.push_back(h);
    }
  }
  int statusReads(BridgeHandle h) const {
    const auto entries = tracing.entriesFor(h);
    return static_cast<int>(std::count_if(entries.begin(), entries.end(),
                                          [](const TraceEntry& e) { return e.op == TraceEntry::Op::GetModemStatus; }));
  }

  VirtualClock clock;
  SimBench bench;
  TracingBridge tracing;
  test::SpyPacer pacer;
  Protocol protocol;
  std::vector<BridgeHandle> handles;
};

const Notice kCannotReset{Notice::Kind::Error, "Can not reset the programmer!"};

TEST(ResetProgrammers, EachProgrammerSeesWhatItsOwnResetSendsAndTheWaitsAreShared) {
  const struct {
    const char* name;
    std::string programmers;
    int sendMark;
  } cases[] = {
      {"one", "o", 1},
      {"three, no mark", "ooo", 0},
      {"three with the mark", "ooo", 1},
      {"one stays busy among them", "obo", 1},
      {"the first and the last stay busy", "bob", 0},
      {"a closed handle among them", "oco", 1},
      {"eight", "oooooooo", 1},
      {"eight, two of them busy", "oboooobo", 1},
      {"none", "", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Station batch(c.programmers);
    Station alone(c.programmers);
    const std::vector<Outcome> outcomes = batch.protocol.ResetProgrammers(batch.handles, c.sendMark);
    ASSERT_EQ(outcomes.size(), c.programmers.size());

    int mostReads = 0;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
      SCOPED_TRACE(i);
      const bool expected = SequentialReset(alone.tracing, alone.pacer, alone.handles[i], c.sendMark);
      EXPECT_EQ(TraceOf(batch.tracing, batch.handles[i]), TraceOf(alone.tracing, alone.handles[i]));
      EXPECT_EQ(outcomes[i].ok(), expected);
      if (expected) {
        EXPECT_TRUE(outcomes[i].notices.empty());
        EXPECT_FALSE(batch.bench.programmer(i).heldInReset());
        EXPECT_EQ(batch.bench.programmer(i).selectMark(), c.sendMark == 1);
      } else {
        EXPECT_EQ(outcomes[i].failure, Outcome::Failure::CannotReset);
        EXPECT_THAT(outcomes[i].notices, ::testing::ElementsAre(kCannotReset));
      }
      mostReads = std::max(mostReads, batch.statusReads(batch.handles[i]));
    }
    // One pulse for all, and one pause between two rounds of reads, however many are busy.
    const bool anyDriven = c.programmers.find_first_not_of('c') != std::string::npos;
    EXPECT_EQ(batch.pacer.count(kResetSpin), anyDriven ? 1 : 0);
    EXPECT_EQ(batch.pacer.count(kPollSpin), std::max(0, mostReads - 1));
  }
}

TEST(ResetProgrammers, AProgrammerUnpluggedMidResetFailsAloneAndTheOthersComeOut) {
  const struct {
    const char* moment;
    std::uint64_t spin;  // the wait before which the programmer is unplugged
    int readsOfUnplugged;
  } cases[] = {
      {"during the pulse", kResetSpin, 0},
      // Its first read still saw it busy; the rest fail and count against its 500.
      {"while it is still busy", kPollSpin, 500},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.moment);
    Station batch("ooo");
    Station alone("ooo");
    bool unplugged = false;
    batch.pacer.beforeSpin = [&](std::uint64_t iterations) {
      if (iterations == c.spin && !unplugged) unplugged = batch.bench.detach(1);
    };
    const std::vector<Outcome> outcomes = batch.protocol.ResetProgrammers(batch.handles, 1);
    ASSERT_TRUE(unplugged);
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_EQ(outcomes[1].failure, Outcome::Failure::CannotReset);
    EXPECT_THAT(outcomes[1].notices, ::testing::ElementsAre(kCannotReset));
    EXPECT_EQ(batch.statusReads(batch.handles[1]), c.readsOfUnplugged);
    for (const std::size_t i : {0u, 2u}) {
      SequentialReset(alone.tracing, alone.pacer, alone.handles[i], 1);
      EXPECT_TRUE(outcomes[i].ok()) << i;
      EXPECT_EQ(TraceOf(batch.tracing, batch.handles[i]), TraceOf(alone.tracing, alone.handles[i])) << i;
    }
  }
}

TEST(ReadProgrammerInfos, EachProgrammerSeesWhatItsOwnReadSendsAndAFailureClosesItAlone) {
  const struct {
    const char* name;
    std::string programmers;
  } cases[] = {
      {"one", "o"},
      {"eight", "oooooooo"},
      {"one never answers", "oio"},
      {"one unplugged in the middle of its block", "ouo"},
      {"a closed handle among them", "coo"},
      {"none", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Station batch(c.programmers);
    Station alone(c.programmers);
    ProgrammerInfo untouched;
    untouched.fill(0xAB);
    std::vector<ProgrammerInfo> blocks(c.programmers.size(), untouched);
    const std::vector<Outcome> outcomes = batch.protocol.ReadProgrammerInfos(batch.handles, blocks);
    ASSERT_EQ(outcomes.size(), c.programmers.size());
    ASSERT_EQ(blocks.size(), c.programmers.size());

    int mostReads = 0;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
      SCOPED_TRACE(i);
      ProgrammerInfo expectedBlock = untouched;
      const bool expected = SequentialInfoRead(alone.tracing, alone.pacer, alone.handles[i], expectedBlock);
      EXPECT_EQ(TraceOf(batch.tracing, batch.handles[i]), TraceOf(alone.tracing, alone.handles[i]));
      EXPECT_EQ(outcomes[i].ok(), expected);
      EXPECT_EQ(expected, c.programmers[i] == 'o');
      // Failures say nothing; the block is the programmer's whole one or the caller's own.
      EXPECT_TRUE(outcomes[i].notices.empty());
      EXPECT_EQ(blocks[i], expectedBlock);
      if (expected) {
        EXPECT_EQ(blocks[i], batch.bench.programmer(i).info());
      }
      mostReads = std::max(mostReads, batch.statusReads(batch.handles[i]));
    }
    EXPECT_EQ(batch.pacer.count(kPollSpin), std::max(0, mostReads - 1));
  }
}

}  // namespace
}  // namespace fd
