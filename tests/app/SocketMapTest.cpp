// The socket map in the settings: what a usable map is, and that saving one replaces the
// whole map at once and nothing else.
#include "app/SocketMap.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TempDir.h"

namespace fd {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

TEST(SocketMap, UsbPortPaths) {
  const struct {
    const char* text;
    bool path;
  } cases[] = {
      {"1-1", true},   {"3-2.4.1", true}, {"10-12", true}, {"", false},      {"1", false},
      {"1-", false},   {"-1", false},     {"1-1.", false}, {"1-1..2", false}, {"a-1", false},
      {"1-1 ", false}, {"usb1", false},   {"/dev/ttyUSB0", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsUsbPortPath(c.text), c.path) << '"' << c.text << '"';
}

class SocketMapFile : public ::testing::Test {
protected:
  test::TempDir tmp;
  SettingsFile settings{tmp.path("settings.ini")};
  void write(const std::string& text) { tmp.write("settings.ini", text); }
};

TEST_F(SocketMapFile, ReadsRowsInOrderAndRefusesAMapThatWouldGuess) {
  const struct {
    std::string file;
    std::vector<std::string> paths;
    std::string error;  // a part of it; empty: none
  } cases[] = {
      {"", {}, ""},
      {"[Sockets]\r\n01=1-1.2\r\n02=1-1.10\r\n03=1-1.1\r\n", {"1-1.2", "1-1.10", "1-1.1"}, ""},
      {"[sockets]\r\n02=1-2\r\n01 = 1-1\r\n04=\r\n", {"1-1", "1-2"}, ""},  // any case, any order, empty tail
      {"[Sockets]\r\n01=1-1\r\n03=1-3\r\n", {}, "Row 02 of the socket map"},
      {"[Sockets]\r\n01=1-1\r\n02=/dev/ttyUSB1\r\n", {}, "Row 02 of the socket map is \"/dev/ttyUSB1\""},
      {"[Sockets]\r\n01=1-1\r\n02=1-1\r\n", {}, "Rows 01 and 02 of the socket map name the same USB port 1-1"},
  };
  for (const auto& c : cases) {
    write(c.file);
    const SocketMapRead map = ReadSocketMap(settings);
    EXPECT_EQ(map.paths, c.paths) << c.file;
    if (c.error.empty()) {
      EXPECT_THAT(map.error, IsEmpty()) << c.file;
    } else {
      EXPECT_THAT(map.error, HasSubstr(c.error)) << c.file;
      EXPECT_THAT(map.error, HasSubstr("sockets --save")) << "says how to mend it";
    }
  }
}

TEST_F(SocketMapFile, SavingReplacesTheWholeMapAndKeepsTheRest) {
  write("[Programmer information]\r\nProduct number=ZK40F8C12\r\n[Sockets]\r\n01=1-4\r\n02=1-5\r\n03=1-6\r\n");
  std::string error;
  ASSERT_TRUE(SaveSocketMap(settings, {"1-1.2", "1-1.3"}, error)) << error;
  EXPECT_THAT(ReadSocketMap(settings).paths, ElementsAre("1-1.2", "1-1.3"));
  EXPECT_EQ(settings.read(kSectionSockets, "03"), "") << "a shorter map leaves no old row behind";
  EXPECT_EQ(settings.read("Programmer information", "Product number"), "ZK40F8C12");

  ASSERT_TRUE(SaveSocketMap(settings, {}, error)) << error;
  EXPECT_THAT(ReadSocketMap(settings).paths, IsEmpty());
}

TEST_F(SocketMapFile, AnInvalidMapIsNeverSaved) {
  write("[Sockets]\r\n01=1-4\r\n");
  const std::string before = tmp.read("settings.ini");
  const std::vector<std::vector<std::string>> invalid = {
      {"1-1", "1-1"}, {"1-1", ""}, {"COM3"}, {"1-1", "1-2", "1-3", "1-4", "1-5", "1-6", "1-7", "1-8", "1-9"}};
  for (const auto& paths : invalid) {
    std::string error;
    EXPECT_FALSE(SaveSocketMap(settings, paths, error));
    EXPECT_THAT(error, Not(IsEmpty()));
    EXPECT_EQ(tmp.read("settings.ini"), before);
  }
}

}  // namespace
}  // namespace fd
