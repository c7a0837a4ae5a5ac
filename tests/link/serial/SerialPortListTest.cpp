// The programmers among the system's serial ports: sysfs trees built from a table of port
// descriptions (ids, serial number, USB port path, drivers that hang the tty at different
// depths below the USB device), read the way the program reads /sys, and the programmers
// the user picks by port or USB serial number. Nothing is opened to find them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "link/serial/SerialBridge.h"
#include "support/TempDir.h"

namespace fd {
namespace {

namespace fs = std::filesystem;

struct FakeTty {
  const char* name;       // ttyUSB0
  const char* vid;        // "" = not a USB device
  const char* pid;
  const char* serial;     // nullptr = no serial attribute
  const char* usbPath;    // the USB device's folder name
  bool belowPort;         // usb-serial drivers: tty below a port device below the interface
  const char* product = "Some product";
};

// Builds /sys/devices/... and /sys/class/tty/NAME -> the tty's folder, as the kernel lays
// them out, under `root`.
void MakeSysfs(const std::string& root, const std::vector<FakeTty>& ttys) {
  const fs::path sys(root);
  fs::create_directories(sys / "class" / "tty");
  int minor = 0;
  for (const FakeTty& t : ttys) {
    fs::path ttyDir;
    if (*t.vid == '\0') {
      // A legacy port on the platform bus.
      ttyDir = sys / "devices" / "pnp0" / "00:05" / "tty" / t.name;
      fs::create_directories(ttyDir);
      fs::create_directory_symlink(fs::path("../../..") / "devices" / "pnp0" / "00:05", ttyDir / "device");
    } else {
      const fs::path usbDevice = sys / "devices" / "pci0000:00" / "0000:00:14.0" / "usb1" / t.usbPath;
      const fs::path iface = usbDevice / (std::string(t.usbPath) + ":1.0");
      fs::create_directories(iface);
      std::ofstream(usbDevice / "idVendor") << t.vid << "\n";
      std::ofstream(usbDevice / "idProduct") << t.pid << "\n";
      std::ofstream(usbDevice / "product") << t.product << "\n";
      if (t.serial) std::ofstream(usbDevice / "serial") << t.serial << "\n";
      std::ofstream(iface / "bInterfaceNumber") << "00\n";
      const fs::path deviceDir = t.belowPort ? iface / t.name : iface;
      fs::create_directories(deviceDir);
      ttyDir = deviceDir / "tty" / t.name;
      fs::create_directories(ttyDir);
      fs::create_directory_symlink(fs::relative(deviceDir, ttyDir), ttyDir / "device");
    }
    std::ofstream(ttyDir / "dev") << "188:" << minor++ << "\n";
    fs::create_directory_symlink(fs::relative(ttyDir, sys / "class" / "tty"), sys / "class" / "tty" / t.name);
  }
  // Virtual terminals have no device at all.
  fs::create_directories(sys / "devices" / "virtual" / "tty" / "tty1");
  fs::create_directory_symlink(fs::relative(sys / "devices" / "virtual" / "tty" / "tty1", sys / "class" / "tty"),
                               sys / "class" / "tty" / "tty1");
}

std::vector<SerialDeviceRow> Programmers(const std::string& root, SerialBridgeOptions options = {}) {
  SerialBridge bridge(SystemSerialPorts(root), std::move(options));
  std::uint32_t count = 0;
  EXPECT_EQ(bridge.BridgeGetNumDevices(count), kBridgeOk);
  return bridge.rows();
}

TEST(SerialPortList, OnlyOurIdsInUsbPortOrder) {
  test::TempDir dir;
  const std::string root = dir.path("sys");
  MakeSysfs(root, {
                      // Plugged in the other way round: ttyUSB0 sits on the later port.
                      {"ttyUSB0", "2f3a", "0039", "FD000002", "1-1.10", true},
                      {"ttyUSB1", "2f3a", "0039", "FD000001", "1-1.9", true},
                      {"ttyUSB2", "0403", "6001", "A50285BI", "1-1.2", true},   // another USB serial adapter
                      {"ttyACM0", "2f3a", "0040", "X1", "1-1.3", false},        // our vendor, another product
                      {"ttyACM1", "2f3a", "0039", nullptr, "2-1", false},       // no serial number, CDC driver
                      {"ttyS0", "", "", nullptr, "", false},                   // not USB at all
                  });
  const auto rows = Programmers(root);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].port, "/dev/ttyUSB1");
  EXPECT_EQ(rows[0].usbPath, "1-1.9");
  EXPECT_EQ(rows[0].usbSerial, "FD000001");
  EXPECT_EQ(rows[1].port, "/dev/ttyUSB0");
  EXPECT_EQ(rows[1].usbPath, "1-1.10");
  EXPECT_EQ(rows[2].port, "/dev/ttyACM1");
  EXPECT_EQ(rows[2].usbPath, "2-1");
  EXPECT_EQ(rows[2].usbSerial, "");

  // --usb-id adds a pair, and only that pair.
  const auto added = Programmers(root, {{{0x0403, 0x6001}}, {}, dir.dir()});
  ASSERT_EQ(added.size(), 4u);
  EXPECT_EQ(added[0].port, "/dev/ttyUSB2");

  // Every USB tty is described, whatever its ids; the legacy and virtual ones are not.
  const auto all = ListUsbTtys(root);
  ASSERT_TRUE(all);
  ASSERT_EQ(all->size(), 5u);
  EXPECT_EQ(all->front().usbPath, "1-1.2");
  EXPECT_EQ(all->front().vendorId, 0x0403);
  EXPECT_EQ(all->front().product, "Some product");
  EXPECT_EQ(all->front().deviceNumber, makedev(188, 2));
}

TEST(SerialPortList, UnreadableSysfsIsNoEmptyList) {
  test::TempDir dir;
  EXPECT_FALSE(ListUsbTtys(dir.path("nothing-here")));
  SerialBridge bridge(SystemSerialPorts(dir.path("nothing-here")));
  std::uint32_t count = 7;
  EXPECT_NE(bridge.BridgeGetNumDevices(count), kBridgeOk);
  EXPECT_EQ(count, 0u);
}

TEST(SerialPortList, NaturalOrderOfPortPaths) {
  EXPECT_TRUE(NaturalLess("1-1.9", "1-1.10"));
  EXPECT_FALSE(NaturalLess("1-1.10", "1-1.9"));
  EXPECT_TRUE(NaturalLess("1-1", "1-1.1"));
  EXPECT_TRUE(NaturalLess("1-2", "2-1"));
  EXPECT_FALSE(NaturalLess("1-1.2", "1-1.2"));
  EXPECT_TRUE(NaturalLess("ttyACM2", "ttyACM10"));
}

TEST(SerialPortList, UsbIdOption) {
  const struct {
    const char* text;
    bool ok;
    UsbId id;
  } cases[] = {
      {"0403:6001", true, {0x0403, 0x6001}}, {"2F3A:39", true, {0x2f3a, 0x0039}}, {"", false, {}},
      {"0403", false, {}},  {"0403:", false, {}}, {":6001", false, {}}, {"0403:60011", false, {}},
      {"04x3:6001", false, {}}, {"0403:6001:1", false, {}}, {"-403:6001", false, {}},
  };
  for (const auto& c : cases) {
    UsbId id;
    EXPECT_EQ(ParseUsbId(c.text, id), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(id, c.id) << c.text;
    }
  }
}

}  // namespace
}  // namespace fd

namespace fd {
namespace {

// Ports picked by the user: a programmer is met by any name of its tty (through the device
// number), serial numbers pick theirs, and rows follow the order given.
TEST(SerialPortChoice, PickedInTheOrderGivenAndNothingElse) {
  test::TempDir dir;
  const std::string root = dir.path("sys");
  MakeSysfs(root, {
                      {"ttyUSB0", "2f3a", "0039", "FD000001", "1-1.1", true},
                      {"ttyUSB1", "2f3a", "0039", "FD000002", "1-1.2", true},
                      {"ttyUSB2", "0403", "6001", "A5", "1-1.3", true},
                  });
  // /dev/null and /dev/zero are character devices any system has: sysfs trees whose ttys
  // carry their device numbers stand for ports reached under another name.
  std::ofstream(root + "/class/tty/ttyUSB1/dev") << "1:3\n";
  std::ofstream(root + "/class/tty/ttyUSB2/dev") << "1:5\n";
  auto bridgeWith = [&](std::vector<PortChoice> choices, std::string& error) {
    auto bridge = std::make_unique<SerialBridge>(SystemSerialPorts(root),
                                                 SerialBridgeOptions{{}, std::move(choices), dir.dir()});
    const bool ok = bridge->checkChoices(error);
    return ok ? std::move(bridge) : nullptr;
  };
  std::string error;
  auto picked = bridgeWith({{PortChoice::Kind::Port, "/dev/null"}, {PortChoice::Kind::UsbSerial, "FD000001"}}, error);
  ASSERT_TRUE(picked) << error;
  std::uint32_t count = 0;
  ASSERT_EQ(picked->BridgeGetNumDevices(count), kBridgeOk);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(picked->rows()[0].port, "/dev/ttyUSB1");
  EXPECT_EQ(picked->rows()[1].port, "/dev/ttyUSB0");

  const struct {
    std::vector<PortChoice> choices;
    const char* error;
  } refused[] = {
      {{{PortChoice::Kind::Port, "/dev/zero"}}, "The port /dev/zero is not a programmer's port"},
      {{{PortChoice::Kind::Port, dir.path("missing")}}, "does not exist"},
      {{{PortChoice::Kind::UsbSerial, "A5"}}, "No programmer with the USB serial number \"A5\" is attached."},
      {{{PortChoice::Kind::UsbSerial, "FD000001"}, {PortChoice::Kind::UsbSerial, "FD00000"}}, "\"FD00000\""},
  };
  for (const auto& r : refused) {
    std::string why;
    EXPECT_FALSE(bridgeWith(r.choices, why));
    EXPECT_NE(why.find(r.error), std::string::npos) << why;
  }
  // A picked programmer unplugged after the start keeps its row and its count: the next
  // one never moves up into its place.
  fs::remove_all(root + "/class/tty/ttyUSB1");
  ASSERT_EQ(picked->BridgeGetNumDevices(count), kBridgeOk);
  ASSERT_EQ(count, 2u);
  BridgeHandle handle = kNoHandle;
  EXPECT_EQ(picked->BridgeOpen(0, handle), kBridgeDeviceNotFound);
  EXPECT_EQ(picked->rows()[0].note, "gone");
  EXPECT_EQ(picked->rows()[1].port, "/dev/ttyUSB0");

  // --usb-id makes the other adapter a programmer.
  SerialBridge added(SystemSerialPorts(root),
                     SerialBridgeOptions{{{0x0403, 0x6001}}, {{PortChoice::Kind::Port, "/dev/zero"}}, dir.dir()});
  EXPECT_TRUE(added.checkChoices(error)) << error;
}

// A port another process holds is never opened; its row says who holds it.
TEST(SerialPortLock, APortHeldElsewhereIsNotOpened) {
  test::TempDir dir;
  PortLock held;
  long holder = 0;
  ASSERT_EQ(held.take(dir.dir(), makedev(188, 7), holder), PortLock::Result::Taken);
  // A second lock on the same device, as another process's would be (flock locks belong to
  // the open file, so one process with two opens meets its own lock the same way).
  PortLock second;
  EXPECT_EQ(second.take(dir.dir(), makedev(188, 7), holder), PortLock::Result::Busy);
  EXPECT_EQ(holder, static_cast<long>(::getpid()));
  EXPECT_EQ(second.take(dir.dir(), makedev(188, 8), holder), PortLock::Result::Taken);
  held.release();
  PortLock third;
  EXPECT_EQ(third.take(dir.dir(), makedev(188, 7), holder), PortLock::Result::Taken);
  EXPECT_EQ(PortLock().take(dir.path("no-such-folder"), makedev(188, 9), holder), PortLock::Result::Failed);
}

}  // namespace
}  // namespace fd
