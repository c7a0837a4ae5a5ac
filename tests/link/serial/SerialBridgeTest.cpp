// The bridge over serial ports, on scripted ports: which ports are programmers, what a
// port list that cannot be read means, the lines a port is left with once opened, and how
// port results map to bridge statuses.
#include "link/serial/SerialBridge.h"

#include <gtest/gtest.h>

#include <sys/sysmacros.h>
#include <unistd.h>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace fd {
namespace {

// What the scripted ports saw and will answer, shared by the ports and the test.
struct PortScript {
  std::optional<std::vector<SerialPortInfo>> listed = std::vector<SerialPortInfo>{};
  std::map<std::string, SerialPorts::OpenError> openErrors;
  bool linesSettable = true;
  std::optional<SerialSignals> inputLines = SerialSignals{};
  int readResult = 0;
  int writeResult = 0;
  int waiting = 0;
  bool failIo = false;        // the port broke: what moved is still told
  std::uint32_t baudActual = 0;  // 0: the rate asked for; else what the driver made of it

  // The state of the output lines after each change, per port name ("" = opening).
  struct Lines {
    bool dtr = true, rts = true;  // what opening a port does on most systems
  };
  std::map<std::string, Lines> lines;
  std::vector<std::string> events;  // "open NAME", "dtr NAME 0", "close NAME", ...
};

class ScriptedPort final : public SerialPort {
public:
  ScriptedPort(PortScript& script, std::string name) : s_(script), name_(std::move(name)) {
    s_.lines[name_] = {};
    s_.events.push_back("open " + name_);
  }
  ~ScriptedPort() override { s_.events.push_back("close " + name_); }
  SerialIo read(std::uint8_t* buffer, std::uint32_t count, unsigned) override {
    for (std::uint32_t i = 0; i < count && static_cast<int>(i) < s_.readResult; ++i) buffer[i] = 0x5A;
    return {static_cast<std::uint32_t>(s_.readResult), s_.failIo};
  }
  SerialIo write(const std::uint8_t*, std::uint32_t, unsigned) override {
    return {static_cast<std::uint32_t>(s_.writeResult), s_.failIo};
  }
  bool flush(bool, bool) override { return true; }
  int inputWaiting() override { return s_.waiting; }
  std::uint32_t setBaudRate(std::uint32_t baud) override { return s_.baudActual == 0 ? baud : s_.baudActual; }
  bool set8N1() override { return true; }
  bool setRts(bool active) override { return set("rts", s_.lines[name_].rts, active); }
  bool setDtr(bool active) override { return set("dtr", s_.lines[name_].dtr, active); }
  std::optional<SerialSignals> inputLines() override { return s_.inputLines; }

private:
  bool set(const char* line, bool& state, bool active) {
    if (!s_.linesSettable) return false;
    state = active;
    s_.events.push_back(std::string(line) + " " + name_ + (active ? " 1" : " 0"));
    return true;
  }
  PortScript& s_;
  std::string name_;
};

class ScriptedPorts final : public SerialPorts {
public:
  explicit ScriptedPorts(PortScript& script) : s_(script) {}
  std::optional<std::vector<SerialPortInfo>> list() override { return s_.listed; }
  std::optional<SerialPortInfo> describeOther(const std::string&) override { return std::nullopt; }
  std::unique_ptr<SerialPort> open(const std::string& name, OpenError& error) override {
    const auto it = s_.openErrors.find(name);
    error = it == s_.openErrors.end() ? OpenError::None : it->second;
    if (error != OpenError::None) return nullptr;
    return std::make_unique<ScriptedPort>(s_, name);
  }

private:
  PortScript& s_;
};

// Each port its own device number, so each has its own lock.
SerialPortInfo Programmer(const std::string& name) {
  return {name, kProgrammerUsbVendor, kProgrammerUsbProduct, "Quorvel Flashdock", "", "",
          makedev(188, std::hash<std::string>{}(name) % 1000)};
}

class SerialBridgeTest : public ::testing::Test {
protected:
  test::TempDir locks;
  PortScript script;
  SerialBridge bridge{std::make_unique<ScriptedPorts>(script), SerialBridgeOptions{{}, {}, locks.dir()}};

  BridgeHandle openFirst() {
    script.listed = std::vector<SerialPortInfo>{Programmer("/dev/ttyUSB0")};
    std::uint32_t count = 0;
    EXPECT_EQ(bridge.BridgeGetNumDevices(count), kBridgeOk);
    BridgeHandle handle = kNoHandle;
    EXPECT_EQ(bridge.BridgeOpen(0, handle), kBridgeOk);
    return handle;
  }
};

TEST_F(SerialBridgeTest, CountsOnlyProgrammersAndTellsTheirStrings) {
  script.listed = std::vector<SerialPortInfo>{
      {"/dev/ttyUSB0", 0x0403, 0x6001, "FT232R", "1-1", "", 1},  // some other USB serial adapter
      Programmer("/dev/ttyUSB1"),
      {"/dev/ttyACM0", kProgrammerUsbVendor, 0x0040, "Another product", "1-2", "", 2},
      Programmer("/dev/ttyUSB2"),
  };
  std::uint32_t count = 0;
  ASSERT_EQ(bridge.BridgeGetNumDevices(count), kBridgeOk);
  EXPECT_EQ(count, 2u);
  std::string joined;
  for (std::uint8_t selector : kProductSelectors) {
    std::string text;
    ASSERT_EQ(bridge.BridgeGetProductString(1, text, selector), kBridgeOk);
    joined += text;
  }
  EXPECT_EQ(joined, kProgrammerProductId);
  std::string text;
  EXPECT_EQ(bridge.BridgeGetProductString(2, text, 3), kBridgeDeviceNotFound);
  EXPECT_EQ(bridge.BridgeGetProductString(0, text, 2), kBridgeInvalidParameter);

  BridgeHandle handle = kNoHandle;
  ASSERT_EQ(bridge.BridgeOpen(1, handle), kBridgeOk);
  EXPECT_EQ(script.events.front(), "open /dev/ttyUSB2");
}

TEST_F(SerialBridgeTest, UnreadablePortListIsAnErrorNotAnEmptyBench) {
  script.listed = std::vector<SerialPortInfo>{Programmer("/dev/ttyUSB0"), Programmer("/dev/ttyUSB1")};
  std::uint32_t count = 0;
  ASSERT_EQ(bridge.BridgeGetNumDevices(count), kBridgeOk);
  ASSERT_EQ(count, 2u);

  script.listed = std::nullopt;
  count = 99;
  EXPECT_NE(bridge.BridgeGetNumDevices(count), kBridgeOk);
  EXPECT_EQ(count, 0u);
  // The devices of the last good count stay as they were.
  BridgeHandle handle = kNoHandle;
  EXPECT_EQ(bridge.BridgeOpen(1, handle), kBridgeOk);
  EXPECT_EQ(script.events.front(), "open /dev/ttyUSB1");

  // An empty list that can be read is a bench with nothing attached.
  script.listed = std::vector<SerialPortInfo>{};
  count = 99;
  EXPECT_EQ(bridge.BridgeGetNumDevices(count), kBridgeOk);
  EXPECT_EQ(count, 0u);
}

TEST_F(SerialBridgeTest, OpeningReleasesResetAndErrorRequestAtOnce) {
  const BridgeHandle handle = openFirst();
  ASSERT_NE(handle, kNoHandle);
  EXPECT_FALSE(script.lines["/dev/ttyUSB0"].dtr);
  EXPECT_FALSE(script.lines["/dev/ttyUSB0"].rts);
  EXPECT_EQ(script.events, (std::vector<std::string>{"open /dev/ttyUSB0", "dtr /dev/ttyUSB0 0", "rts /dev/ttyUSB0 0"}));

  // The reset pulse and the error request still drive the lines as asked.
  ASSERT_EQ(bridge.BridgeSetFlowControl(handle, kResetLine), kBridgeOk);
  EXPECT_TRUE(script.lines["/dev/ttyUSB0"].dtr);
  EXPECT_FALSE(script.lines["/dev/ttyUSB0"].rts);
  ASSERT_EQ(bridge.BridgeSetFlowControl(handle, kErrorRequestLine), kBridgeOk);
  EXPECT_FALSE(script.lines["/dev/ttyUSB0"].dtr);
  EXPECT_TRUE(script.lines["/dev/ttyUSB0"].rts);
  ASSERT_EQ(bridge.BridgeSetFlowControl(handle, kLinesReleased), kBridgeOk);
  EXPECT_FALSE(script.lines["/dev/ttyUSB0"].dtr);
  EXPECT_FALSE(script.lines["/dev/ttyUSB0"].rts);
}

TEST_F(SerialBridgeTest, OpenFailures) {
  const struct {
    const char* what;
    std::optional<SerialPorts::OpenError> openError;
    bool linesSettable;
    int status;
    const char* note;     // what the row says afterwards
    const char* notice;   // a piece of the sentence the user is told, "" for none
  } cases[] = {
      {"port gone", SerialPorts::OpenError::NotFound, true, kBridgeDeviceNotFound, "gone", ""},
      {"permission denied", SerialPorts::OpenError::PermissionDenied, true, kBridgeSystemError,
       "permission denied", "/dev/ttyUSB0: permission denied. The udev rule 60-flashdock.rules"},
      {"held exclusively", SerialPorts::OpenError::Busy, true, kBridgeSystemError, "busy",
       "/dev/ttyUSB0 is held exclusively by another program"},
      {"other failure", SerialPorts::OpenError::Failed, true, kBridgeSystemError, "can not open",
       "Can not open the programmer's port /dev/ttyUSB0."},
      // A port whose lines cannot be set could never reset its programmer; it is not
      // left open holding it in reset either.
      {"lines stuck", std::nullopt, false, kBridgeSystemError, "", ""},
  };
  for (const auto& c : cases) {
    PortScript s;
    s.listed = std::vector<SerialPortInfo>{Programmer("/dev/ttyUSB0")};
    if (c.openError) s.openErrors["/dev/ttyUSB0"] = *c.openError;
    s.linesSettable = c.linesSettable;
    SerialBridge b(std::make_unique<ScriptedPorts>(s), SerialBridgeOptions{{}, {}, locks.dir()});
    std::vector<std::string> notices;
    b.setNoticeSink([&](const std::string& text) { notices.push_back(text); });
    std::uint32_t count = 0;
    ASSERT_EQ(b.BridgeGetNumDevices(count), kBridgeOk);
    BridgeHandle handle = kNoHandle;
    EXPECT_EQ(b.BridgeOpen(0, handle), c.status) << c.what;
    EXPECT_EQ(handle, kNoHandle) << c.what;
    EXPECT_EQ(b.rows().at(0).note, c.note) << c.what;
    if (*c.notice != '\0') {
      ASSERT_EQ(notices.size(), 1u) << c.what;
      EXPECT_NE(notices[0].find(c.notice), std::string::npos) << notices[0];
    } else {
      EXPECT_TRUE(notices.empty()) << c.what;
    }
    // Said once, not at every detection.
    EXPECT_NE(b.BridgeOpen(0, handle), kBridgeOk);
    EXPECT_LE(notices.size(), 1u) << c.what;
    if (!c.openError) {
      EXPECT_EQ(s.events, (std::vector<std::string>{"open /dev/ttyUSB0", "close /dev/ttyUSB0", "open /dev/ttyUSB0",
                                                     "close /dev/ttyUSB0"}))
          << c.what;
    }
  }
  BridgeHandle handle = kNoHandle;
  EXPECT_EQ(bridge.BridgeOpen(0, handle), kBridgeDeviceNotFound);  // nothing counted yet
}

// A fixture's socket keeps its row: the programmers come in the map's order, one missing
// keeps its row (and cannot be opened), those on other ports follow by USB port path.
TEST_F(SerialBridgeTest, ASocketMapGivesEachUsbPortItsRow) {
  const auto on = [](const std::string& name, const std::string& usbPath) {
    SerialPortInfo info = Programmer(name);
    info.usbPath = usbPath;
    return info;
  };
  const struct {
    const char* what;
    std::vector<std::string> map;
    std::vector<SerialPortInfo> listed;  // in USB port order, as the system lists them
    std::vector<std::string> rows;       // the port of each row; "" for a socket with none
  } cases[] = {
      {"no map: by USB port path", {}, {on("/dev/ttyUSB1", "1-1.2"), on("/dev/ttyUSB0", "1-1.10")},
       {"/dev/ttyUSB1", "/dev/ttyUSB0"}},
      {"the map's order", {"1-1.10", "1-1.2"}, {on("/dev/ttyUSB1", "1-1.2"), on("/dev/ttyUSB0", "1-1.10")},
       {"/dev/ttyUSB0", "/dev/ttyUSB1"}},
      {"a socket without its programmer keeps its row", {"1-1.1", "1-1.2", "1-1.3"},
       {on("/dev/ttyUSB0", "1-1.1"), on("/dev/ttyUSB2", "1-1.3")}, {"/dev/ttyUSB0", "", "/dev/ttyUSB2"}},
      {"programmers on other ports follow", {"1-1.3"},
       {on("/dev/ttyUSB0", "1-1.1"), on("/dev/ttyUSB1", "1-1.2"), on("/dev/ttyUSB2", "1-1.3")},
       {"/dev/ttyUSB2", "/dev/ttyUSB0", "/dev/ttyUSB1"}},
  };
  for (const auto& c : cases) {
    PortScript s;
    s.listed = c.listed;
    SerialBridge b(std::make_unique<ScriptedPorts>(s), SerialBridgeOptions{{}, {}, locks.dir(), c.map});
    std::uint32_t count = 0;
    ASSERT_EQ(b.BridgeGetNumDevices(count), kBridgeOk) << c.what;
    ASSERT_EQ(count, c.rows.size()) << c.what;
    for (std::uint32_t r = 0; r < count; ++r) {
      BridgeHandle handle = kNoHandle;
      if (c.rows[r].empty()) {
        EXPECT_EQ(b.BridgeOpen(r, handle), kBridgeDeviceNotFound) << c.what << " row " << r;
        continue;
      }
      ASSERT_EQ(b.BridgeOpen(r, handle), kBridgeOk) << c.what << " row " << r;
      EXPECT_EQ(b.rowOf(handle)->port, c.rows[r]) << c.what << " row " << r;
      b.BridgeClose(handle);
    }
  }
}

TEST_F(SerialBridgeTest, APortInUseIsNeverOpened) {
  script.listed = std::vector<SerialPortInfo>{Programmer("/dev/ttyUSB0"), Programmer("/dev/ttyUSB1")};
  std::vector<std::string> notices;
  bridge.setNoticeSink([&](const std::string& text) { notices.push_back(text); });
  // Another process's lock on the first port.
  PortLock other;
  long holder = 0;
  ASSERT_EQ(other.take(locks.dir(), Programmer("/dev/ttyUSB0").deviceNumber, holder), PortLock::Result::Taken);
  std::uint32_t count = 0;
  ASSERT_EQ(bridge.BridgeGetNumDevices(count), kBridgeOk);
  ASSERT_EQ(count, 2u);  // still attached, still counted
  BridgeHandle handle = kNoHandle;
  EXPECT_NE(bridge.BridgeOpen(0, handle), kBridgeOk);
  EXPECT_TRUE(script.events.empty());  // not even opened: opening alone would pulse its lines
  const std::string who = "in use by process " + std::to_string(::getpid());
  EXPECT_EQ(bridge.rows()[0].note, who);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0], "The programmer on /dev/ttyUSB0 is " + who + ".");
  ASSERT_EQ(bridge.BridgeOpen(1, handle), kBridgeOk);
  EXPECT_EQ(bridge.rowOf(handle)->port, "/dev/ttyUSB1");

  // Once it is let go, the port opens; while this bridge holds it, nobody else gets it.
  other.release();
  BridgeHandle first = kNoHandle;
  ASSERT_EQ(bridge.BridgeOpen(0, first), kBridgeOk);
  EXPECT_EQ(bridge.rows()[0].note, "");
  PortLock again;
  EXPECT_EQ(again.take(locks.dir(), Programmer("/dev/ttyUSB0").deviceNumber, holder), PortLock::Result::Busy);
  ASSERT_EQ(bridge.BridgeClose(first), kBridgeOk);
  EXPECT_EQ(again.take(locks.dir(), Programmer("/dev/ttyUSB0").deviceNumber, holder), PortLock::Result::Taken);
}

TEST_F(SerialBridgeTest, PortResultsMapToBridgeStatuses) {
  const BridgeHandle handle = openFirst();
  std::uint8_t buffer[4] = {};
  std::uint32_t moved = 99;
  const struct {
    int portResult;
    int status;
    std::uint32_t moved;
    bool failed;
  } reads[] = {{4, kBridgeOk, 4, false},
               {2, kBridgeReadTimedOut, 2, false},
               {0, kBridgeReadTimedOut, 0, false},
               {0, kBridgeReadError, 0, true},
               // Broken half way: the bytes that came are still counted.
               {3, kBridgeReadError, 3, true}};
  for (const auto& r : reads) {
    script.readResult = r.portResult;
    script.failIo = r.failed;
    EXPECT_EQ(bridge.BridgeRead(handle, buffer, 4, moved), r.status) << r.portResult;
    EXPECT_EQ(moved, r.moved) << r.portResult;
    script.writeResult = r.portResult;
    EXPECT_EQ(bridge.BridgeWrite(handle, buffer, 4, moved),
              r.status == kBridgeOk ? kBridgeOk : r.status == kBridgeReadError ? kBridgeWriteError : kBridgeWriteTimedOut)
        << r.portResult;
    EXPECT_EQ(moved, r.moved) << r.portResult;
  }
  script.failIo = false;

  const struct {
    SerialSignals lines;
    std::uint8_t status;
  } modem[] = {
      {{}, 0x00},
      {{true, false, false, false}, kResultBit},
      {{false, true, false, false}, kBusyBit},
      {{true, true, true, true}, kResultBit | kBusyBit | 0x40 | 0x80},
  };
  for (const auto& m : modem) {
    script.inputLines = m.lines;
    std::uint8_t status = 0xAA;
    EXPECT_EQ(bridge.BridgeGetModemStatus(handle, status), kBridgeOk);
    EXPECT_EQ(status, m.status);
  }
  script.inputLines = std::nullopt;
  std::uint8_t status = 0xAA;
  EXPECT_EQ(bridge.BridgeGetModemStatus(handle, status), kBridgeSystemError);
  EXPECT_EQ(status, 0);

  std::uint32_t queued = 0, queueStatus = 0;
  script.waiting = 3;
  EXPECT_EQ(bridge.BridgeCheckRxQueue(handle, queued, queueStatus), kBridgeOk);
  EXPECT_EQ(queued, 3u);
  EXPECT_EQ(queueStatus, 2u);
  script.waiting = -1;
  EXPECT_EQ(bridge.BridgeCheckRxQueue(handle, queued, queueStatus), kBridgeSystemError);

  EXPECT_EQ(bridge.BridgeSetLineControl(handle, kLineControl8N1), kBridgeOk);
  EXPECT_EQ(bridge.BridgeSetLineControl(handle, 0x0801), kBridgeInvalidParameter);
  // The rate is read back: a driver that rounds it by more than 2 % cannot be used.
  const struct {
    std::uint32_t asked, actual;
    int status;
  } rates[] = {
      {kNormalBaud, 1000000, kBridgeOk},       {kUpdateBaud, 25000, kBridgeOk},
      {kUpdateBaud, 25478, kBridgeOk},         // 1.9 % off: within what a UART tolerates
      {kUpdateBaud, 25600, kBridgeInvalidParameter},  // 2.4 % off
      {kNormalBaud, 921600, kBridgeInvalidParameter}, // the nearest standard rate
      {kUpdateBaud, 24000, kBridgeInvalidParameter},
  };
  for (const auto& r : rates) {
    script.baudActual = r.actual;
    EXPECT_EQ(bridge.BridgeSetBaudRate(handle, r.asked), r.status) << r.asked << " -> " << r.actual;
  }

  EXPECT_EQ(bridge.BridgeClose(handle), kBridgeOk);
  EXPECT_EQ(script.events.back(), "close /dev/ttyUSB0");
  // A closed handle keeps failing.
  EXPECT_EQ(bridge.BridgeClose(handle), kBridgeInvalidHandle);
  EXPECT_EQ(bridge.BridgeRead(handle, buffer, 1, moved), kBridgeInvalidHandle);
}

}  // namespace
}  // namespace fd
