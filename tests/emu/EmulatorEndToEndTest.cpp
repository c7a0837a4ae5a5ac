// The real serial path without hardware: the command line on the programmer emulator's
// pseudo-terminals, through the serial bridge, the real libserialport and the kernel's tty
// layer. The emulator's preload library supplies only what a pseudo-terminal lacks (modem
// lines, the sysfs entry libserialport looks up); termios, rates, time-outs, reads,
// writes, flushes and queue counts are real.
//
// Each command runs twice on copies of one bench: through the emulator with --port, and on
// --simulate. Both must write the same bytes and read the same data, per programmer and in
// order, and end the same way (poll and queue counts follow real timing and may differ).
#include <gtest/gtest.h>

#include <gmock/gmock.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "Processes.h"
#include "support/TempDir.h"

namespace fd {
namespace {

using ::testing::HasSubstr;
using test::Process;
using test::ProcessRun;
using test::RunProcess;
namespace fs = std::filesystem;

const std::string kCli = FLASHDOCK_CLI;

// What a run said to each programmer: by the device index it opened, the bytes written and
// the bytes read, in order.
struct Conversation {
  std::map<int, std::vector<std::uint8_t>> written, read;
};

std::vector<std::uint8_t> BytesIn(const std::string& line) {
  std::vector<std::uint8_t> bytes;
  const auto open = line.find('['), close = line.find(']');
  if (open == std::string::npos || close == std::string::npos) return bytes;
  std::istringstream in(line.substr(open + 1, close - open - 1));
  std::string hex;
  while (in >> hex) bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex, nullptr, 16)));
  return bytes;
}

Conversation ReadTrace(const std::string& path) {
  Conversation c;
  std::map<std::string, int> deviceOf;
  std::ifstream in(path);
  std::string line;
  const std::regex open(R"(^Open index=(\d+) -> (h\d+) => 0)");
  const std::regex io(R"(^(Write|Read) (h\d+) )");
  std::smatch m;
  while (std::getline(in, line)) {
    if (std::regex_search(line, m, open)) {
      deviceOf[m[2]] = std::stoi(m[1]);
    } else if (std::regex_search(line, m, io)) {
      const auto bytes = BytesIn(line);
      auto& into = m[1] == "Write" ? c.written[deviceOf[m[2]]] : c.read[deviceOf[m[2]]];
      into.insert(into.end(), bytes.begin(), bytes.end());
    }
  }
  return c;
}

class EmulatorEndToEnd : public ::testing::Test {
protected:
  void SetUp() override {
    // Short paths: socket names have a length limit.
    char pattern[] = "/tmp/fdemu-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    registry_ = pattern;
    env_ = {{"FLASHDOCK_EMU_DIR", registry_}, {"FLASHDOCK_LOCK_DIR", dir.dir()}};
    for (const char* side : {"emu", "sim"}) {
      fs::create_directories(dir.path(side));
      fs::copy_file(fs::path(kCli).parent_path() / "MCUType.mcu", dir.path(std::string(side) + "/MCUType.mcu"));
      // On-line work uses the settings: the first demo programmer's product, 5 V.
      std::ofstream(dir.path(std::string(side) + "/ZK40 Family Flashdock.ini"))
          << "[Log information]\nAuto save log=1\nAuto save ID=1\n[Programmer information]\n"
             "Product number=ZK40F8C12\nID code=C3C3C3C3C3C3C3\nPower set=50\n";
    }
  }
  void TearDown() override {
    emulator_.reset();
    std::error_code ec;
    fs::remove_all(registry_, ec);
  }

  // A bench file for both sides: `text` written, or the demo bench.
  void makeBench(const std::string& text = "") {
    if (text.empty()) {
      ASSERT_EQ(RunProcess({kCli, "bench-init", dir.path("bench.json"), "--demo"}, env_).code, 0);
    } else {
      dir.write("bench.json", text);
    }
    fs::copy_file(dir.path("bench.json"), dir.path("emu.json"));
    fs::copy_file(dir.path("bench.json"), dir.path("sim.json"));
  }

  void startEmulator(const std::vector<std::string>& args) {
    std::vector<std::string> all = {kCli, "emulate"};
    all.insert(all.end(), args.begin(), args.end());
    emulator_ = std::make_unique<Process>(all, env_);
    std::string line;
    while (emulator_->readLine(line, 10000)) {
      if (line == "ready") return;
      if (line.rfind("LD_PRELOAD=", 0) == 0) {
        preload_ = line.substr(11);
      } else {
        ports_.push_back(line);
      }
    }
    FAIL() << "the emulator did not get ready: " << emulator_->finish(1000).err;
  }

  // The command line on the emulator, every port picked in order.
  ProcessRun onEmulator(const std::vector<std::string>& args, const std::string& trace = "", int timeoutMs = 60000) {
    return RunProcess(emulatorArgs(args, trace), emulatorEnv(), timeoutMs);
  }
  std::vector<std::string> emulatorArgs(const std::vector<std::string>& args, const std::string& trace = "",
                                        const std::vector<std::string>& ports = {}) {
    std::vector<std::string> all = {kCli, "--app-dir", dir.path("emu")};
    if (!trace.empty()) all.insert(all.end(), {"--trace", trace});
    for (const std::string& port : ports.empty() ? ports_ : ports) all.insert(all.end(), {"--port", port});
    all.insert(all.end(), args.begin(), args.end());
    return all;
  }
  std::map<std::string, std::string> emulatorEnv() {
    auto env = env_;
    env["LD_PRELOAD"] = preload_;
    // Under the sanitizer build the preload library comes before the sanitizer's runtime,
    // which the runtime refuses unless told the order is meant.
    const char* inherited = std::getenv("ASAN_OPTIONS");
    const std::string asan = inherited != nullptr && *inherited != '\0' ? std::string(inherited) + ":" : std::string();
    env["ASAN_OPTIONS"] = asan + "verify_asan_link_order=0";
    return env;
  }
  ProcessRun onSimulator(const std::vector<std::string>& args, const std::string& trace = "") {
    std::vector<std::string> all = {kCli, "--virtual-time", "--app-dir", dir.path("sim"), "--simulate",
                                    dir.path("sim.json")};
    if (!trace.empty()) all.insert(all.end(), {"--trace", trace});
    all.insert(all.end(), args.begin(), args.end());
    return RunProcess(all, env_);
  }

  // The same command both ways: same outcome, same bytes each way per programmer.
  void expectSameRun(const std::string& what, const std::vector<std::string>& emuArgs,
                     const std::vector<std::string>& simArgs, bool compareReads = true) {
    SCOPED_TRACE(what);
    const std::string emuTrace = dir.path(what + "-emu.trace"), simTrace = dir.path(what + "-sim.trace");
    const ProcessRun emu = onEmulator(emuArgs, emuTrace);
    const ProcessRun sim = onSimulator(simArgs, simTrace);
    EXPECT_EQ(emu.code, sim.code) << "emulator:\n" << emu.out << emu.err << "\nsimulator:\n" << sim.out << sim.err;
    EXPECT_EQ(emu.err, sim.err);
    const Conversation e = ReadTrace(emuTrace), s = ReadTrace(simTrace);
    EXPECT_FALSE(s.written.empty());
    EXPECT_EQ(e.written, s.written);
    if (compareReads) {
      EXPECT_EQ(e.read, s.read);
    }
  }

  // Waits until process `pid` holds the lock of `port` (as /proc/locks tells), for at most
  // ten seconds.
  bool waitForLock(pid_t pid, const std::string& port) {
    struct stat tty {};
    if (::stat(port.c_str(), &tty) != 0) return false;
    const std::string lockFile = dir.path("flashdock-tty-" + std::to_string(major(tty.st_rdev)) + "-" +
                                          std::to_string(minor(tty.st_rdev)) + ".lock");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      struct stat file {};
      if (::stat(lockFile.c_str(), &file) == 0) {
        std::ifstream locks("/proc/locks");
        std::string line;
        const std::string inode = ":" + std::to_string(file.st_ino) + " ";
        while (std::getline(locks, line)) {
          if (line.find(" " + std::to_string(pid) + " ") != std::string::npos && line.find(inode) != std::string::npos) {
            return true;
          }
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  test::TempDir dir;
  std::string registry_;
  std::map<std::string, std::string> env_;
  std::unique_ptr<Process> emulator_;
  std::vector<std::string> ports_;
  std::string preload_;
};

std::string Image(test::TempDir& dir, const std::string& name, std::size_t size, std::uint8_t seed) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + seed) & 0xFF);
  dir.write(name, bytes);
  return dir.path(name);
}

TEST_F(EmulatorEndToEnd, CommandsMatchTheSimulatedBench) {
  makeBench();
  startEmulator({"--bench", dir.path("emu.json")});
  ASSERT_EQ(ports_.size(), 3u);
  ASSERT_FALSE(preload_.empty());
  EXPECT_TRUE(fs::path(preload_).is_absolute());

  expectSameRun("list", {"list"}, {"list"});
  expectSameRun("info", {"info", "--device", "1"}, {"info", "--device", "1"});
  const std::string image = Image(dir, "image.bin", 2048, 3);
  expectSameRun("load", {"load", image, "--sn", "01", "--base", "4000"}, {"load", image, "--sn", "01", "--base", "4000"});
  expectSameRun("program", {"program", image, "--sn", "01", "--base", "4000"},
                {"program", image, "--sn", "01", "--base", "4000"});
  expectSameRun("erase", {"erase", "--sn", "01", "--blocks", "A"}, {"erase", "--sn", "01", "--blocks", "A"});
  expectSameRun("read", {"read", "--sn", "01", "--blocks", "0", "-o", dir.path("emu-read.mot")},
                {"read", "--sn", "01", "--blocks", "0", "-o", dir.path("sim-read.mot")});
  EXPECT_EQ(dir.read("emu-read.mot"), dir.read("sim-read.mot"));
  // The gang run's progress bytes are read as they come: how many a poll finds follows
  // real time, so only what is written is compared, and the results.
  expectSameRun("gang", {"gang"}, {"gang"}, false);

  // The emulator's bench, saved when it is ended, holds what the simulated one holds.
  emulator_->signal(SIGTERM);
  EXPECT_EQ(emulator_->finish(10000).code, 0);
  emulator_.reset();
  EXPECT_EQ(dir.read("emu.json"), dir.read("sim.json"));
}

TEST_F(EmulatorEndToEnd, ListShowsPortsAndPicksInTheOrderGiven) {
  makeBench();
  startEmulator({"--bench", dir.path("emu.json")});
  ASSERT_EQ(ports_.size(), 3u);
  const ProcessRun json =
      RunProcess(emulatorArgs({"--json", "list"}, "", {ports_[2], ports_[0]}), emulatorEnv());
  ASSERT_EQ(json.code, 0) << json.err;
  EXPECT_THAT(json.out, HasSubstr("\"port\": \"" + ports_[2] + "\""));
  EXPECT_LT(json.out.find(ports_[2]), json.out.find(ports_[0]));
  EXPECT_THAT(json.out, HasSubstr("\"usbPath\": \"\""));
  EXPECT_THAT(json.out, HasSubstr("\"usbSerial\": \"\""));
  EXPECT_THAT(json.out, HasSubstr("2 programmers are detected"));
  // The third programmer was never opened: its emulator saw no line change.
  const ProcessRun text = RunProcess(emulatorArgs({"list", "--ports"}, "", {ports_[1]}), emulatorEnv());
  ASSERT_EQ(text.code, 0) << text.err;
  EXPECT_THAT(text.out, HasSubstr("Only 1 programmer is detected"));
  EXPECT_THAT(text.out, HasSubstr(ports_[1]));
  EXPECT_EQ(text.out.find(ports_[0]), std::string::npos);

  // Anything else given as a port is refused before any port is opened.
  for (const std::string& other : {std::string("/dev/null"), dir.path("missing")}) {
    const ProcessRun refused = RunProcess(emulatorArgs({"list"}, "", {other}), emulatorEnv());
    EXPECT_EQ(refused.code, 1) << other;
    EXPECT_THAT(refused.err, HasSubstr("The port " + other)) << refused.err;
  }
  // Without the preload library, a pseudo-terminal is no programmer.
  const ProcessRun plain = RunProcess(emulatorArgs({"list"}, "", {ports_[0]}), env_);
  EXPECT_EQ(plain.code, 1);
  EXPECT_THAT(plain.err, HasSubstr("is not a programmer's port"));
}

TEST_F(EmulatorEndToEnd, FirmwareUpdateAtTheBootLoadersRate) {
  makeBench(R"({"programmers": [{"updateJumpers": true, "firmware": [{"page": "FC5", "count": 1, "fill": "00"}]}]})");
  startEmulator({"--bench", dir.path("emu.json")});
  ASSERT_EQ(ports_.size(), 1u);
  // A firmware image of S-records: three pages at FC00.
  std::string mot = "S00600004844521B\n";
  for (int line = 0; line < 3 * 16; ++line) {
    // Two pages at the start of the programmer's flash and its last page, which every
    // firmware file must bring.
    const unsigned address = line < 32 ? 0xFC000 + line * 16 : 0xFFF00 + (line - 32) * 16;
    std::ostringstream rec;
    rec << "S2" << "14";
    char buf[8];
    std::snprintf(buf, sizeof buf, "%06X", address);
    rec << buf;
    unsigned sum = 0x14 + ((address >> 16) & 0xFF) + ((address >> 8) & 0xFF) + (address & 0xFF);
    for (int i = 0; i < 16; ++i) {
      const unsigned b = (line * 16 + i) & 0xFF;
      std::snprintf(buf, sizeof buf, "%02X", b);
      rec << buf;
      sum += b;
    }
    std::snprintf(buf, sizeof buf, "%02X", (~sum) & 0xFF);
    rec << buf << "\n";
    mot += rec.str();
  }
  mot += "S804000000FB\n";
  dir.write("firmware.mot", mot);
  expectSameRun("update", {"update-firmware", dir.path("firmware.mot"), "--yes"},
                {"update-firmware", dir.path("firmware.mot"), "--yes"});
  emulator_->signal(SIGTERM);
  EXPECT_EQ(emulator_->finish(10000).code, 0);
  emulator_.reset();
  EXPECT_EQ(dir.read("emu.json"), dir.read("sim.json"));
}

// The programmer vanishes under a running transfer (its emulator killed: the terminal hangs
// up): the operation ends with its message within the time-outs of the exchange it was
// in, and nothing is left half-done as if it had worked.
TEST_F(EmulatorEndToEnd, EmulatorKilledInTheMiddleOfALoadOrARead) {
  const std::string image = Image(dir, "big.bin", 64 * 1024, 9);
  const struct {
    const char* what;
    std::vector<std::string> args;
    std::string faults;  // of the demo bench's first programmer
    int killAfterMs;
  } cases[] = {
      // Well under way (its progress lines wait in a pipe's buffer, so time tells): the
      // detection takes a few tenths of a second, the 256 pages more than a second.
      {"load", {"load", image, "--sn", "01", "--base", "4000"}, "", 600},
      {"read", {"read", "--sn", "01", "--start", "4000", "--end", "13FFF", "-o", dir.path("read.mot")}, "", 600},
      // Killed while the load waits (up to half a minute) for a programmer slow to prepare
      // its store: a programmer that is gone is not waited for.
      {"load waiting",
       {"load", image, "--sn", "01", "--base", "4000"},
       R"({"errors": [{"command": "D", "stage": "descriptor", "noAnswer": true}]})", 2500},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ports_.clear();
    for (const char* name : {"bench.json", "emu.json", "sim.json"}) fs::remove(dir.path(name));
    makeBench();
    if (!c.faults.empty()) {
      std::string bench = dir.read("bench.json");
      const std::string first = "\"attached\": true,";
      ASSERT_NE(bench.find(first), std::string::npos);
      bench.insert(bench.find(first) + first.size(), " \"faults\": " + c.faults + ",");
      for (const char* name : {"bench.json", "emu.json", "sim.json"}) dir.write(name, bench);
    }
    startEmulator({"--bench", dir.path("emu.json")});
    Process run(emulatorArgs(c.args, "", {ports_[0]}), emulatorEnv());
    std::this_thread::sleep_for(std::chrono::milliseconds(c.killAfterMs));
    emulator_->signal(SIGKILL);
    const auto killedAt = std::chrono::steady_clock::now();
    const ProcessRun ended = run.finish(30000);
    const double after = std::chrono::duration<double>(std::chrono::steady_clock::now() - killedAt).count();
    EXPECT_EQ(ended.code, 1) << ended.out << ended.err;
    EXPECT_THAT(ended.err, HasSubstr("ERROR: ")) << ended.err;
    EXPECT_THAT(ended.out, ::testing::Not(HasSubstr("loaded"))) << ended.out;
    // Well within the 30 s a hang would take. A slow build (the sanitizer's) may still be in
    // its detection when the kill comes, and then waits out two resets' polls.
    EXPECT_LT(after, 10.0) << ended.err;
    EXPECT_FALSE(fs::exists(dir.path("read.mot")));
    emulator_.reset();
  }
}

TEST_F(EmulatorEndToEnd, TwoProcessesOnTwoPortsAndAPortInUse) {
  makeBench();
  startEmulator({"--bench", dir.path("emu.json")});
  // The whole flash (256 pages, more than a second): the third process below starts while
  // the load still holds its port, even on a slow sanitizer build with the machine busy.
  const std::string image = Image(dir, "big.bin", 64 * 1024, 5);
  // Two loads at once, each on its own programmer.
  Process first(emulatorArgs({"load", image, "--sn", "01", "--base", "4000"}, "", {ports_[0]}), emulatorEnv());
  Process second(emulatorArgs({"info", "--device", "0"}, dir.path("second.trace"), {ports_[1]}), emulatorEnv());
  ASSERT_TRUE(waitForLock(first.pid(), ports_[0])) << "the first load never took its port";
  // A third process asks for the first's programmer: it is not opened, and says by whom.
  const ProcessRun busy = RunProcess(emulatorArgs({"list", "--ports"}, dir.path("busy.trace"), {ports_[0]}),
                                     emulatorEnv());
  EXPECT_THAT(busy.err, HasSubstr("in use by process " + std::to_string(first.pid()))) << busy.err;
  EXPECT_THAT(busy.out, HasSubstr("in use by process " + std::to_string(first.pid())));
  EXPECT_EQ(busy.code, 1);
  const ProcessRun a = first.finish(60000), b = second.finish(60000);
  EXPECT_EQ(a.code, 0) << a.out << a.err;
  EXPECT_EQ(b.code, 0) << b.out << b.err;
  // The busy process never reached the port: no line was pulsed under the load.
  std::ifstream trace(dir.path("busy.trace"));
  const std::string text((std::istreambuf_iterator<char>(trace)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text.find("SetFlowControl"), std::string::npos) << text;
}

TEST_F(EmulatorEndToEnd, SelftestOnAnEmulatedProgrammer) {
  makeBench();
  startEmulator({"--bench", dir.path("emu.json")});
  const ProcessRun run = RunProcess({kCli, "--app-dir", dir.path("emu"), "selftest", "--port", ports_[1]}, emulatorEnv());
  EXPECT_EQ(run.code, 0) << run.out << run.err;
  for (const char* step : {"open", "busy line in reset", "reset", "busy and result lines", "information block",
                           "select mark on", "select mark off"}) {
    EXPECT_THAT(run.out, ::testing::ContainsRegex(std::string("(^|\n)") + step + " +ok +[0-9]+ ms")) << run.out;
  }
  EXPECT_THAT(run.out, HasSubstr("\"2f3a0039Quorvel Flashdock\""));
  EXPECT_THAT(run.out, HasSubstr("product ZK40G16B"));
  EXPECT_THAT(run.out, HasSubstr("All steps passed."));

  // The emulator gone: the port fails at once, step by step, and nothing hangs.
  emulator_->signal(SIGKILL);
  emulator_->finish(5000);
  const ProcessRun dead = RunProcess({kCli, "--app-dir", dir.path("emu"), "selftest", "--port", ports_[1]},
                                     emulatorEnv(), 20000);
  EXPECT_EQ(dead.code, 1) << dead.out << dead.err;
  EXPECT_LT(dead.seconds, 10.0);
}

}  // namespace
}  // namespace fd
