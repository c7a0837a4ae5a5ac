// The run log's line for every operation on a programmer other than the gang run: the
// off-line load (of one programmer and of several), the on-line program, erase and read,
// and the firmware update, each ending well, failing and, where it can, canceled.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "app/AppState.h"
#include "app/RunLog.h"
#include "cli/CliFixture.h"
#include "formats/Sha256.h"
#include "link/Clock.h"
#include "link/ProgrammerErrors.h"
#include "link/ProgrammerSn.h"
#include "sim/SimBench.h"
#include "support/SRecordText.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using test::CliRun;
using namespace test;

class RunLogOperations : public test::CliTest {
protected:
  void SetUp() override { chooseOnlineProduct("ZK40F8C12"); }
  std::string demoBench(const std::function<void(SimBench&)>& change = {}) {
    const std::string path = dir.path("bench.json");
    VirtualClock clock;
    auto bench = SimBench::demo(clock);
    // The on-line operations run on the target's own supply.
    bench->programmer(0).target().selfPowered = true;
    if (change) change(*bench);
    std::string error;
    EXPECT_TRUE(bench->save(path, error)) << error;
    return path;
  }
  // One programmer with its update jumpers set, for the firmware update.
  std::string updateBench(const std::string& faults = "") {
    dir.write("bench.json", R"({"programmers": [{"updateJumpers": true,
        "firmware": [{"page": "FC5", "count": 1, "fill": "00"}])" + faults + "}]}");
    return dir.path("bench.json");
  }
  std::string image() {
    dir.write("app.mot", SFile({S2(0x4000, Filled(32, 0x11)), kS9}));
    return dir.path("app.mot");
  }
  std::string firmware() {
    dir.write("new.mot", SFile({S2(0xFFF00, Filled(128, 0x5A)), S2(0xFFF80, Filled(120, 0x5A)), kS8}));
    return dir.path("new.mot");
  }
  std::vector<RunRecord> records() {
    const RunLog::Read read = RunLog(dir.path(kRunLogFileName)).read();
    EXPECT_TRUE(read.skippedLines.empty());
    return read.records;
  }
};

SimErrorFault ErrorAt(char command, const char* stage, ProgrammerError error) {
  return {command, stage, CodeOf(error), SimFaultAction::kError, 0};
}

TEST_F(RunLogOperations, EachOperationWritesOneLineWithItsResultCodeAndText) {
  const std::string file = image();
  const std::string fw = firmware();
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::function<std::string()> bench;
    const char* operation;
    const char* result;
    std::optional<int> code;
    const char* text;
    const char* file;  // the record's file; "" none
  };
  const auto plain = [this] { return demoBench(); };
  const auto fault = [this](SimErrorFault f) {
    return [this, f] { return demoBench([f](SimBench& b) { b.programmer(0).faults().errors.push_back(f); }); };
  };
  const int connectCode = CodeOf(ProgrammerError::IdMismatch);
  const std::vector<Case> cases = {
      {"load", {"load", file, "--sn", "01"}, plain, "load", kRunOk, {}, "Selected file is loaded to the programmer.", "app.mot"},
      {"load, store not written", {"load", file, "--sn", "01"}, fault(ErrorAt('D', "page", ProgrammerError::StoreWrite)),
       "load", kRunFailed, CodeOf(ProgrammerError::StoreWrite), "", "app.mot"},
      {"program", {"program", file, "--sn", "01"}, plain, "program", kRunOk, {}, "Selected file is loaded to the programmer.", "app.mot"},
      {"program, wrong ID", {"program", file, "--sn", "01"}, fault(ErrorAt('C', "connect", ProgrammerError::IdMismatch)),
       "program", kRunFailed, connectCode, "", ""},
      {"erase", {"erase", "--sn", "01", "--blocks", "1,a"}, plain, "erase", kRunOk, {}, "Erased: Block A, Block 1", ""},
      {"erase, wrong ID", {"erase", "--sn", "01", "--all"}, fault(ErrorAt('C', "connect", ProgrammerError::IdMismatch)),
       "erase", kRunFailed, connectCode, "", ""},
      {"read", {"read", "--sn", "01", "--blocks", "0", "-o", dir.path("r.mot")}, plain, "read", kRunOk, {}, "Read 8192 bytes, saved", "r.mot"},
      {"read, no answer", {"read", "--sn", "01", "--blocks", "0", "-o", dir.path("n.mot")},
       fault(SimErrorFault{'R', "read", 0, SimFaultAction::kNoAnswer, 0}), "read", kRunFailed, {},
       "The programmer did not answer; the operation stopped.", ""},
      {"update", {"update-firmware", fw, "--yes"}, [this] { return updateBench(); }, "update-firmware", kRunOk, {},
       "The programmer is updated.\nDisconnected the USB cable.", "new.mot"},
      {"update, block not erased", {"update-firmware", fw, "--yes"},
       [this] { return updateBench(R"(, "faults": {"boot": {"erase": {"1": "fails"}}})"); }, "update-firmware",
       kRunFailed, {}, "Block 1 erase error!", "new.mot"},
  };
  const std::string sha = Sha256Text(Sha256(dir.read("app.mot")));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir.path(kRunLogFileName));
    const CliRun run = cli(c.args, c.bench());
    EXPECT_EQ(run.code, c.result == std::string(kRunOk) ? 0 : 1) << run.err;
    const std::vector<RunRecord> lines = records();
    ASSERT_EQ(lines.size(), 1u) << run.err;
    const RunRecord& r = lines[0];
    EXPECT_EQ(r.operation, c.operation);
    EXPECT_EQ(r.sn, "01");
    EXPECT_EQ(r.result, c.result);
    EXPECT_EQ(r.code, c.code);
    if (*c.text != '\0') {
      EXPECT_EQ(r.text, c.text);
    } else {
      EXPECT_FALSE(r.text.empty());
      EXPECT_THAT(run.err, HasSubstr(r.text)) << "the text is what was said";
    }
    EXPECT_EQ(r.file, c.file);
    if (r.file == "app.mot") {
      EXPECT_EQ(r.sha256, sha);
      EXPECT_EQ(r.stamp.size(), 17u) << r.stamp;  // yy-mm-dd,hh:mm:ss
    }
    if (r.operation != "update-firmware") {
      EXPECT_EQ(r.product, "ZK40F8C12");
    }
    EXPECT_EQ(r.version, ProgramVersion());
  }
}

TEST_F(RunLogOperations, NothingIsWrittenWhereNoOperationTookPlace) {
  // A file refused at its choice: nothing was sent to the programmer.
  dir.write("not.mot", "S1130000\r\n");
  EXPECT_EQ(cli({"load", dir.path("not.mot"), "--sn", "01"}, demoBench()).code, 1);
  EXPECT_EQ(cli({"program", dir.path("not.mot"), "--sn", "01"}, demoBench()).code, 1);
  EXPECT_TRUE(records().empty());
}

TEST_F(RunLogOperations, ALoadOfSeveralWritesOneLinePerProgrammerAndACancelSaysCanceled) {
  const std::string file = image();
  // Two products that both hold 0x4000; the second programmer cannot write its store.
  const std::string bench = demoBench([](SimBench& b) {
    b.programmer(2).faults().errors.push_back(ErrorAt('D', "page", ProgrammerError::StoreWrite));
  });
  const CliRun load = cli({"load", file, "--sn", "01,03"}, bench);
  EXPECT_EQ(load.code, 1) << load.err;
  const std::vector<RunRecord> lines = records();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].sn, "01");
  EXPECT_EQ(lines[0].result, kRunOk);
  EXPECT_EQ(lines[0].product, "ZK40F8C12");
  EXPECT_EQ(lines[1].sn, "03");
  EXPECT_EQ(lines[1].result, kRunFailed);
  EXPECT_EQ(lines[1].code, CodeOf(ProgrammerError::StoreWrite)) << lines[1].text;
  EXPECT_EQ(lines[1].product, "ZK40H128R1");
  EXPECT_EQ(lines[1].time, lines[0].time) << "one write";
  for (const RunRecord& r : lines) EXPECT_EQ(r.operation, "load");

  // A time-out ends a load as Cancel does: the programmer still loading was canceled.
  std::filesystem::remove(dir.path(kRunLogFileName));
  const std::string slow = demoBench([](SimBench& b) {
    b.programmer(0).faults().errors.push_back(SimErrorFault{'D', "descriptor", 0, SimFaultAction::kDelay, 600000});
  });
  EXPECT_EQ(cli({"load", file, "--sn", "01", "--timeout", "2.5"}, slow).code, 1);
  const std::vector<RunRecord> canceled = records();
  ASSERT_EQ(canceled.size(), 1u);
  EXPECT_EQ(canceled[0].result, kRunCanceled);
  EXPECT_GE(canceled[0].durationMs, 2500u);
}

}  // namespace
}  // namespace fd
