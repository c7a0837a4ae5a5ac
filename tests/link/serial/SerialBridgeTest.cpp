// The bridge over serial ports, on scripted ports: which ports are programmers, what a
// port list that cannot be read means, the lines a port is left with once opened, and how
// port results map to bridge statuses.
#include "link/serial/SerialBridge.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

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
  bool baudOk = true;

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
  int read(std::uint8_t* buffer, std::uint32_t count, unsigned) override {
    for (std::uint32_t i = 0; i < count && static_cast<int>(i) < s_.readResult; ++i) buffer[i] = 0x5A;
    return s_.readResult;
  }
  int write(const std::uint8_t*, std::uint32_t, unsigned) override { return s_.writeResult; }
  bool flush(bool, bool) override { return true; }
  int inputWaiting() override { return s_.waiting; }
  bool setBaudRate(std::uint32_t) override { return s_.baudOk; }
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
  std::unique_ptr<SerialPort> open(const std::string& name, OpenError& error) override {
    const auto it = s_.openErrors.find(name);
    error = it == s_.openErrors.end() ? OpenError::None : it->second;
    if (error != OpenError::None) return nullptr;
    return std::make_unique<ScriptedPort>(s_, name);
  }

private:
  PortScript& s_;
};

SerialPortInfo Programmer(const std::string& name) {
  return {name, kProgrammerUsbVendor, kProgrammerUsbProduct, "Quorvel Flashdock"};
}

class SerialBridgeTest : public ::testing::Test {
protected:
  PortScript script;
  SerialBridge bridge{std::make_unique<ScriptedPorts>(script)};

  BridgeHandle openFirst() {
    script.listed = std::vector<SerialPortInfo>{Programmer("ttyUSB0")};
    std::uint32_t count = 0;
    EXPECT_EQ(bridge.BridgeGetNumDevices(count), kBridgeOk);
    BridgeHandle handle = kNoHandle;
    EXPECT_EQ(bridge.BridgeOpen(0, handle), kBridgeOk);
    return handle;
  }
};

TEST_F(SerialBridgeTest, CountsOnlyProgrammersAndTellsTheirStrings) {
  script.listed = std::vector<SerialPortInfo>{
      {"ttyUSB0", 0x0403, 0x6001, "FT232R"},  // some other USB serial adapter
      Programmer("ttyUSB1"),
      {"ttyACM0", kProgrammerUsbVendor, 0x0040, "Another product"},
      Programmer("ttyUSB2"),
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
  EXPECT_EQ(script.events.front(), "open ttyUSB2");
}

TEST_F(SerialBridgeTest, UnreadablePortListIsAnErrorNotAnEmptyBench) {
  script.listed = std::vector<SerialPortInfo>{Programmer("ttyUSB0"), Programmer("ttyUSB1")};
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
  EXPECT_EQ(script.events.front(), "open ttyUSB1");

  // An empty list that can be read is a bench with nothing attached.
  script.listed = std::vector<SerialPortInfo>{};
  count = 99;
  EXPECT_EQ(bridge.BridgeGetNumDevices(count), kBridgeOk);
  EXPECT_EQ(count, 0u);
}

TEST_F(SerialBridgeTest, OpeningReleasesResetAndErrorRequestAtOnce) {
  const BridgeHandle handle = openFirst();
  ASSERT_NE(handle, kNoHandle);
  EXPECT_FALSE(script.lines["ttyUSB0"].dtr);
  EXPECT_FALSE(script.lines["ttyUSB0"].rts);
  EXPECT_EQ(script.events, (std::vector<std::string>{"open ttyUSB0", "dtr ttyUSB0 0", "rts ttyUSB0 0"}));

  // The reset pulse and the error request still drive the lines as asked.
  ASSERT_EQ(bridge.BridgeSetFlowControl(handle, kResetLine), kBridgeOk);
  EXPECT_TRUE(script.lines["ttyUSB0"].dtr);
  EXPECT_FALSE(script.lines["ttyUSB0"].rts);
  ASSERT_EQ(bridge.BridgeSetFlowControl(handle, kErrorRequestLine), kBridgeOk);
  EXPECT_FALSE(script.lines["ttyUSB0"].dtr);
  EXPECT_TRUE(script.lines["ttyUSB0"].rts);
  ASSERT_EQ(bridge.BridgeSetFlowControl(handle, kLinesReleased), kBridgeOk);
  EXPECT_FALSE(script.lines["ttyUSB0"].dtr);
  EXPECT_FALSE(script.lines["ttyUSB0"].rts);
}

TEST_F(SerialBridgeTest, OpenFailures) {
  const struct {
    const char* what;
    std::optional<SerialPorts::OpenError> openError;
    bool linesSettable;
    int status;
  } cases[] = {
      {"port gone", SerialPorts::OpenError::NotFound, true, kBridgeDeviceNotFound},
      {"port busy", SerialPorts::OpenError::Failed, true, kBridgeSystemError},
      // A port whose lines cannot be set could never reset its programmer; it is not
      // left open holding it in reset either.
      {"lines stuck", std::nullopt, false, kBridgeSystemError},
  };
  for (const auto& c : cases) {
    PortScript s;
    s.listed = std::vector<SerialPortInfo>{Programmer("ttyUSB0")};
    if (c.openError) s.openErrors["ttyUSB0"] = *c.openError;
    s.linesSettable = c.linesSettable;
    SerialBridge b(std::make_unique<ScriptedPorts>(s));
    std::uint32_t count = 0;
    ASSERT_EQ(b.BridgeGetNumDevices(count), kBridgeOk);
    BridgeHandle handle = kNoHandle;
    EXPECT_EQ(b.BridgeOpen(0, handle), c.status) << c.what;
    EXPECT_EQ(handle, kNoHandle) << c.what;
    if (!c.openError) {
      EXPECT_EQ(s.events, (std::vector<std::string>{"open ttyUSB0", "close ttyUSB0"})) << c.what;
    }
  }
  BridgeHandle handle = kNoHandle;
  EXPECT_EQ(bridge.BridgeOpen(0, handle), kBridgeDeviceNotFound);  // nothing counted yet
}

TEST_F(SerialBridgeTest, PortResultsMapToBridgeStatuses) {
  const BridgeHandle handle = openFirst();
  std::uint8_t buffer[4] = {};
  std::uint32_t moved = 99;
  const struct {
    int portResult;
    int status;
    std::uint32_t moved;
  } reads[] = {{4, kBridgeOk, 4}, {2, kBridgeReadTimedOut, 2}, {0, kBridgeReadTimedOut, 0}, {-1, kBridgeReadError, 0}};
  for (const auto& r : reads) {
    script.readResult = r.portResult;
    EXPECT_EQ(bridge.BridgeRead(handle, buffer, 4, moved), r.status) << r.portResult;
    EXPECT_EQ(moved, r.moved) << r.portResult;
    script.writeResult = r.portResult;
    EXPECT_EQ(bridge.BridgeWrite(handle, buffer, 4, moved),
              r.status == kBridgeOk ? kBridgeOk : r.status == kBridgeReadError ? kBridgeWriteError : kBridgeWriteTimedOut)
        << r.portResult;
    EXPECT_EQ(moved, r.moved) << r.portResult;
  }

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
  script.baudOk = false;
  EXPECT_EQ(bridge.BridgeSetBaudRate(handle, kNormalBaud), kBridgeInvalidParameter);

  EXPECT_EQ(bridge.BridgeClose(handle), kBridgeOk);
  EXPECT_EQ(script.events.back(), "close ttyUSB0");
  // A closed handle keeps failing.
  EXPECT_EQ(bridge.BridgeClose(handle), kBridgeInvalidHandle);
  EXPECT_EQ(bridge.BridgeRead(handle, buffer, 1, moved), kBridgeInvalidHandle);
}

}  // namespace
}  // namespace fd
