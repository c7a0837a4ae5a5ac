#include "formats/SRecordWriter.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "formats/SRecord.h"
#include "support/PeerTools.h"
#include "support/SRecordText.h"
#include "support/TempDir.h"

namespace fd {
namespace {

using test::Bytes;

const std::string kHead = "S00600005442580B\r\n";
const std::string F(std::size_t n) { return std::string(n, 'F'); }

std::string Write(const Bytes& bytes, std::uint32_t start) {
  const SRecordText out = WriteSRecords(bytes, start);
  EXPECT_TRUE(out.ok) << out.message;
  return out.text;
}

TEST(SRecordWriter, TheSaveCasesByteForByte) {
  const struct {
    const char* name;
    std::uint32_t start, end;
    std::string text;
  } cases[] = {
      {"one full line", 0x0F000, 0x0F00F, kHead + "S21400F000" + F(32) + "0B\r\nS80400F0000B"},
      {"three lines", 0x0F005, 0x0F02A,
       kHead + "S20F00F005" + F(22) + "06\r\n" + "S21400F010" + F(32) + "FB\r\n" + "S20F00F020" + F(22) +
           "EB\r\nS80400F00506"},
      {"two full lines, no middle record", 0x0F000, 0x0F01F,
       kHead + "S21400F000" + F(32) + "0B\r\n" + "S21400F010" + F(32) + "FB\r\nS80400F0000B"},
      {"inside one line", 0x0F004, 0x0F007, kHead + "S20800F004" + F(8) + "07\r\nS80400F00407"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Write(test::Filled(c.end - c.start + 1, 0xFF), c.start), c.text);
  }
  // The header is the fixed line; its checksum is that of count, address and "TBX".
  EXPECT_EQ(std::string(kSRecordHeaderLine), test::SRecordLine('0', 2, 0, {'T', 'B', 'X'}));
}

TEST(SRecordWriter, APausedReadWritesExactlyTheBytesRead) {
  // The range was 0xF005 to 0xF02A; 20 bytes arrived.
  const Bytes read = test::Counting(20);
  EXPECT_EQ(Write(read, 0xF005), kHead + "S20F00F005000102030405060708090AC4\r\n" +
                                     "S20D00F0100B0C0D0E0F101112136B\r\nS80400F00506");
  // Every record's count matches its bytes, and its checksum is right: our reader and
  // srec_cat read back the same 20 bytes (below).
}

TEST(SRecordWriter, RefusesEmptyInputAndDataPastTwentyFourBits) {
  const SRecordText empty = WriteSRecords({}, 0xF000);
  EXPECT_FALSE(empty.ok);
  EXPECT_EQ(empty.message, kNothingReadText);
  EXPECT_TRUE(empty.text.empty());
  EXPECT_FALSE(WriteSRecords(test::Filled(2, 0), 0xFFFFFF).ok);
  EXPECT_FALSE(WriteSRecords(test::Filled(1, 0), 0x1000000).ok);
  EXPECT_EQ(Write({0xAB}, 0xFFFFFF), kHead + "S205FFFFFFAB52\r\nS804FFFFFFFE");
}

TEST(SRecordWriter, CrLfAfterEveryRecordButTheLast) {
  const std::string text = Write(test::RandomBytes(1000), 0x12345);
  std::size_t lines = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      ASSERT_GT(i, 0u);
      EXPECT_EQ(text[i - 1], '\r');
      ++lines;
    }
  }
  EXPECT_EQ(lines, 1u + (1000 + 5 + 15) / 16);  // header + one record a view line
  EXPECT_EQ(text.substr(text.size() - 12), "S80401234592");
  for (char c : text) EXPECT_TRUE(c == '\r' || c == '\n' || std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F') || c == 'S');
}

// The bytes at their addresses, as our reader gives them back (pages, "FF" where nothing).
std::map<std::uint32_t, std::uint8_t> ReadBack(const std::string& text) {
  TextPageSink sink;
  const ConvertResult result = ConvertToPages(text, sink);
  EXPECT_TRUE(result.ok) << result.message;
  std::map<std::uint32_t, std::uint8_t> bytes;
  for (const PageRecord& page : sink.pages()) {
    const auto decoded = DecodePageText(page.text);
    EXPECT_TRUE(decoded);
    if (!decoded) continue;
    for (std::size_t i = 0; i < kPageSize; ++i) bytes[page.page * 256u + i] = (*decoded)[i];
  }
  return bytes;
}

const struct {
  std::uint32_t start;
  std::size_t length;
} kRanges[] = {{0x0F000, 16}, {0x0F005, 38}, {0x0F005, 20}, {0x0F004, 4}, {0x10000, 4096}, {0x123457, 3001}, {0x100, 1}};

TEST(SRecordWriter, OurReaderReadsBackTheSameBytes) {
  for (const auto& r : kRanges) {
    SCOPED_TRACE(r.start);
    const Bytes data = test::RandomBytes(r.length, r.start);
    const auto back = ReadBack(Write(data, r.start));
    for (std::size_t i = 0; i < data.size(); ++i) ASSERT_EQ(back.at(r.start + static_cast<std::uint32_t>(i)), data[i]);
    // Around the data only "FF".
    for (const auto& [address, value] : back) {
      if (address < r.start || address >= r.start + r.length) {
        ASSERT_EQ(value, 0xFF) << address;
      }
    }
  }
}

TEST(SRecordWriter, SrecCatReadsBackTheSameBytesWithItsChecksumTest) {
  const std::string srecCat = test::FindOnPath("srec_cat");
  if (srecCat.empty()) GTEST_SKIP() << "srec_cat is not on PATH";
  test::TempDir dir;
  for (const auto& r : kRanges) {
    SCOPED_TRACE(r.start);
    const Bytes data = test::RandomBytes(r.length, r.start + 1);
    dir.write("read.mot", Write(data, r.start));
    // srec_cat checks every record's checksum and refuses the file on a wrong one; the
    // data are placed at offset 0 of the binary.
    ASSERT_EQ(test::RunTool(srecCat, {dir.path("read.mot"), "-motorola", "-offset", "-" + std::to_string(r.start),
                                      "-o", dir.path("back.bin"), "-binary"},
                            dir.path("log.txt")),
              0)
        << dir.read("log.txt");
    const std::string back = dir.read("back.bin");
    EXPECT_EQ(back, std::string(data.begin(), data.end()));
  }
}

}  // namespace
}  // namespace fd
