#include "formats/SRecord.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/SRecordText.h"
#include "support/TempDir.h"

namespace fd {
namespace {

using test::Bytes;
using test::Counting;
using test::PageText;
using test::S1;
using test::S2;
using test::S3;
using test::SFile;
using test::kS9;

// Records every call, to show that a refused file reaches the sink not at all.
class CallSink final : public PageSink {
public:
  void beginPage(std::uint16_t page) override {
    ++calls;
    pages.push_back(PageRecord{page, {}});
  }
  void append(std::string_view hex) override {
    ++calls;
    if (!pages.empty()) pages.back().text += hex;
  }
  int calls = 0;
  std::vector<PageRecord> pages;
};

std::vector<PageRecord> Convert(const std::string& file, ConvertResult* out = nullptr) {
  TextPageSink sink;
  const ConvertResult result = ConvertToPages(file, sink);
  EXPECT_TRUE(result.ok) << result.message;
  EXPECT_EQ(result.pageCount, sink.pages().size());
  for (const PageRecord& page : sink.pages()) EXPECT_EQ(page.text.size(), kPageTextLength) << "page " << page.page;
  if (out) *out = result;
  return sink.pages();
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// ---- The conversion cases ---------------------------------------------------------------

TEST(ConvertToPages, TheConversionCases) {
  const Bytes a8 = Counting(8, 0x10), b8 = Counting(8, 0x20), c4 = Counting(4, 0xA0);
  const Bytes r32 = Counting(32, 0x40), r16 = Counting(16, 0x80);
  const Bytes first16(r32.begin(), r32.begin() + 16), last16(r32.begin() + 16, r32.end());
  Bytes full;
  std::vector<std::string> fill0FFF;
  for (int i = 0; i < 16; ++i) {
    const Bytes line = Counting(16, static_cast<std::uint8_t>(16 * i));
    fill0FFF.push_back(S2(0x0FFF00 + 16 * i, line));
    full.insert(full.end(), line.begin(), line.end());
  }
  fill0FFF.push_back(kS9);
  const std::string lowerCase = Lower(S2(0x1200, {0x0A, 0xBC, 0xDE}));

  const struct {
    const char* name;
    std::string file;
    std::vector<PageRecord> pages;
  } cases[] = {
      {"two 8-byte records at 0x00 and 0x10 of one page",
       SFile({S2(0x1200, a8), S2(0x1210, b8), kS9}),
       {{0x12, PageText({{0x00, a8}, {0x10, b8}})}}},
      {"a 32-byte record at 0xF0 runs into the next page",
       SFile({S2(0x12F0, r32), kS9}),
       {{0x12, PageText({{0xF0, first16}})}, {0x13, PageText({{0x00, last16}})}}},
      {"a 16-byte record ending at the page end opens no page; a later page follows directly",
       SFile({S2(0x12F0, r16), S2(0x1500, c4), kS9}),
       {{0x12, PageText({{0xF0, r16}})}, {0x15, PageText({{0x00, c4}})}}},
      {"a record ending at the page end, then the next page",
       SFile({S2(0x12F0, r16), S2(0x1300, c4), kS9}),
       {{0x12, PageText({{0xF0, r16}})}, {0x13, PageText({{0x00, c4}})}}},
      {"S1, S2 and S3 records alike, each at its address",
       SFile({S2(0x1200, c4), S1(0x1204, a8), S3(0x1300, b8), S2(0x1400, c4), kS9}),
       {{0x12, PageText({{0x00, c4}, {0x04, a8}})}, {0x13, PageText({{0x00, b8}})}, {0x14, PageText({{0x00, c4}})}}},
      {"only S1 records", SFile({S1(0x1200, a8), S1(0x1300, b8), kS9}),
       {{0x12, PageText({{0x00, a8}})}, {0x13, PageText({{0x00, b8}})}}},
      {"only S3 records, the highest page", SFile({S3(0x00FFFFF0, r16), test::kS7}),
       {{0xFFFF, PageText({{0xF0, r16}})}}},
      {"an S3 record running into the next page",
       SFile({S3(0x000FFFF0, r32), test::kS7}),
       {{0x0FFF, PageText({{0xF0, first16}})}, {0x1000, PageText({{0x00, last16}})}}},
      {"page 0x0FFF filled: one record, none for 0x1000", SFile(fill0FFF), {{0x0FFF, test::HexOf(full)}}},
      {"the file's case is kept", SFile({lowerCase, kS9}),
       {{0x12, "0abcde" + std::string(506, 'F')}}},
      {"header only: no page", SFile({}), {}},
      {"the highest page", SFile({S2(0xFFFFF0, r16), kS9}), {{0xFFFF, PageText({{0xF0, r16}})}}},
      {"a record of no data bytes opens its page", SFile({S2(0x1280, {}), kS9}), {{0x12, PageText({})}}},
      {"LF line ends", SFile({S2(0x1200, a8), S2(0x12F0, r32), kS9}, "\n"),
       {{0x12, PageText({{0x00, a8}, {0xF0, first16}})}, {0x13, PageText({{0x00, last16}})}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Convert(c.file), c.pages);
  }
}

// A literal reading of the page rules, for files they handle (ascending, no overlap, no
// non-data line inside a page that goes on, a non-data line at the end).
std::vector<PageRecord> ConvertByTheRules(const std::string& text) {
  std::vector<PageRecord> pages;
  std::uint32_t C = 0, F = 0;
  auto emit = [&](const std::string& s) { pages.back().text += s; };
  auto complete = [&] {
    if (F != 0) {
      for (std::uint32_t i = 0; i < 256 - F; ++i) emit("FF");
      F = 0;
    }
  };
  auto open = [&](std::uint32_t p) {
    C = p;
    pages.push_back(PageRecord{static_cast<std::uint16_t>(p), {}});
  };
  std::size_t start = text.find('\n') + 1;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    std::string line = text.substr(start, end - start);
    start = end == std::string::npos ? text.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line[1] != '2') {
      complete();
      continue;
    }
    const std::uint32_t L = std::stoul(line.substr(2, 2), nullptr, 16) - 4;
    const std::uint32_t A = std::stoul(line.substr(4, 6), nullptr, 16);
    const std::uint32_t P = A >> 8, a = A % 256, E = A + L;
    const std::string D = line.substr(10, 2 * L);
    if (P > C) {
      complete();
      open(P);
      for (std::uint32_t i = 0; i < a; ++i) emit("FF");
      F = a;
    } else if (F < a) {
      for (std::uint32_t i = 0; i < a - F; ++i) emit("FF");
      F = a;
    }
    if ((E >> 8) == P) {
      emit(D);
      F += L;
    } else {
      emit(D.substr(0, 2 * (256 - F)));
      F = E % 256;
      if (F != 0) {
        open(E >> 8);
        emit(D.substr(D.size() - 2 * F));
      }
    }
  }
  return pages;
}

TEST(ConvertToPages, AnAscendingFileConvertsExactlyAsTheRulesGive) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    std::vector<std::string> lines;
    std::uint32_t address = 0x100 + random() % 0x3000;
    const int records = 1 + static_cast<int>(random() % 40);
    for (int i = 0; i < records; ++i) {
      const std::uint32_t length = 1 + random() % (random() % 4 == 0 ? 251 : 40);
      if (address + length >= 0x1000000) break;
      lines.push_back(S2(address, test::RandomBytes(length, random())));
      std::uint32_t next = address + length + (random() % 3 == 0 ? 0 : random() % 600);
      // A non-data line only where the next record starts a later page than the last one
      // this record touched: elsewhere the literal rules would close a page twice.
      if (((next >> 8) > ((address + length - 1) >> 8)) && random() % 3 == 0) lines.push_back("S5030002FA");
      address = next;
    }
    lines.push_back(kS9);
    const std::string file = SFile(lines, random() % 2 ? "\r\n" : "\n");
    ASSERT_EQ(Convert(file), ConvertByTheRules(file)) << file;
  }
}

// ---- Mended faults ----------------------------------------------------------------------

TEST(ConvertToPages, AFileEndingInADataRecordGetsItsLastPageCompleted) {
  const Bytes r16 = Counting(16);
  for (const char* end : {"\r\n", "\n"}) {
    EXPECT_EQ(Convert(SFile({S2(0x12F8, r16)}, end, false)),
              (std::vector<PageRecord>{{0x12, PageText({{0xF8, Bytes(r16.begin(), r16.begin() + 8)}})},
                                       {0x13, PageText({{0x00, Bytes(r16.begin() + 8, r16.end())}})}}));
    EXPECT_EQ(Convert(SFile({S2(0x1200, r16)}, end, true)), (std::vector<PageRecord>{{0x12, PageText({{0, r16}})}}));
  }
}

TEST(ConvertToPages, ANonDataLineInsideAPageNeverClosesItTwice) {
  const Bytes a = Counting(4, 1), b = Counting(4, 9);
  const std::vector<PageRecord> one{{0x12, PageText({{0x00, a}, {0x80, b}})}};
  EXPECT_EQ(Convert(SFile({S2(0x1200, a), S1(0x0000, {}), S2(0x1280, b), kS9})), one);
  EXPECT_EQ(Convert(SFile({S2(0x1200, a), "S5030002FA", "S5030002FA", S2(0x1280, b), kS9})), one);
  // The same across a page boundary: the spill page goes on after the non-data line.
  const Bytes r32 = Counting(32);
  EXPECT_EQ(Convert(SFile({S2(0x12F0, r32), kS9, S2(0x1320, a), kS9})),
            (std::vector<PageRecord>{{0x12, PageText({{0xF0, Bytes(r32.begin(), r32.begin() + 16)}})},
                                     {0x13, PageText({{0x00, Bytes(r32.begin() + 16, r32.end())}, {0x20, a}})}}));
}

TEST(ConvertToPages, RecordsOutOfOrderLoadWhatTheirSortedTwinLoads) {
  std::mt19937 random(11);
  for (int round = 0; round < 100; ++round) {
    std::vector<std::string> records;
    std::uint32_t address = 0x100 + random() % 0x800;
    for (int i = 0; i < 30; ++i) {
      const std::uint32_t length = 1 + random() % 48;
      records.push_back(S2(address, test::RandomBytes(length, random())));
      address += length + (random() % 2 ? 0 : random() % 300);
    }
    std::vector<std::string> shuffled = records;
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    // Non-data lines anywhere change nothing either.
    for (int i = 0; i < 5; ++i) shuffled.insert(shuffled.begin() + random() % shuffled.size(), std::string("S5030002FA"));
    records.push_back(kS9);
    shuffled.push_back(kS9);
    const std::vector<PageRecord> sorted = Convert(SFile(records));
    ASSERT_EQ(Convert(SFile(shuffled)), sorted);
    // And so the programmer receives the same load-record bytes.
    TextPageSink a, b;
    ConvertToPages(SFile(records), a);
    ConvertToPages(SFile(shuffled), b);
    ASSERT_EQ(a.encoded(PageNumberEncoding::LowByteFirst), b.encoded(PageNumberEncoding::LowByteFirst));
  }
  // A record on an earlier page, and one below the fill position of the current page.
  const Bytes a = Counting(4, 1), b = Counting(4, 9), c = Counting(4, 0x30);
  EXPECT_EQ(Convert(SFile({S2(0x1310, a), S2(0x1210, b), S2(0x1300, c), kS9})),
            (std::vector<PageRecord>{{0x12, PageText({{0x10, b}})}, {0x13, PageText({{0x00, c}, {0x10, a}})}}));
}

TEST(ConvertToPages, MalformedAndUnacceptedFilesAreRefusedNamingTheLine) {
  const std::string good = S2(0x1200, {1, 2, 3, 4});  // S2080012000102030 4DC
  const struct {
    const char* name;
    std::string file;
    std::size_t line;
    const char* says;
  } cases[] = {
      {"count larger than the line", SFile({good, "S20A001200010203" "04DC", kS9}), 3, "count 0A"},
      {"count smaller than the line", SFile({"S2070012000102030404DC", kS9}), 2, "count 07"},
      {"count below 4", SFile({good, good, "S203001200", kS9}), 4, "below 4"},
      {"count 00", SFile({"S200"}), 2, "below 4"},
      {"non-hex count", SFile({"S2G8001200010203" "04DC"}), 2, "count is not"},
      {"non-hex address", SFile({"S2080012Z0010203" "04DC"}), 2, "address"},
      {"non-hex data", SFile({"S20800120001020X04DC"}), 2, "data"},
      {"a space in the data", SFile({"S20800120001 20304DC"}), 2, "data"},
      {"non-hex checksum", SFile({"S208001200010203" "04D."}), 2, "checksum"},
      {"a wrong checksum", SFile({good, test::S2(0x1200, {5}, 1), kS9}), 3, "the checksum is"},
      {"a wrong checksum in an S1 record", SFile({test::SRecordLine('1', 2, 0x1200, {1, 2}, -1), kS9}), 2,
       "the checksum is"},
      {"a wrong checksum in an S3 record", SFile({test::SRecordLine('3', 4, 0x1200, {1, 2}, 7), kS9}), 2,
       "the checksum is"},
      {"S1 count below 3", SFile({"S1020000"}), 2, "below 3"},
      {"S3 count below 5", SFile({"S30400000000"}), 2, "below 5"},
      {"S3 data at 0x1000000", SFile({S3(0x01000000, {1})}), 2, "0x1000000 or above"},
      {"S3 data far beyond, no data bytes", SFile({S3(0x20000000, {})}), 2, "0x1000000 or above"},
      {"S1 data in page 0", SFile({S1(0x0080, {1})}), 2, "below address 0x100"},
      {"a line ending inside the count", SFile({"S2"}), 2, "inside the count"},
      {"a line ending inside the count (one digit)", SFile({"S21"}), 2, "inside the count"},
      {"a one-character line", SFile({good, "S", kS9}), 3, "too short"},
      {"an empty line between records", SFile({good, "", kS9}), 3, "empty"},
      {"a blank line between records", SFile({good, " \t ", kS9}), 3, "empty"},
      {"overlapping records", SFile({S2(0x1200, Counting(16)), S2(0x1208, {1}), kS9}), 3, "line 3 overlaps line 2"},
      {"overlapping records out of order", SFile({S2(0x1208, {1}), S2(0x1200, Counting(16)), kS9}), 2,
       "line 2 overlaps line 3"},
      {"data in page 0", SFile({S2(0x00F0, {1, 2})}), 2, "below address 0x100"},
      {"data from page 0 into page 1", SFile({S2(0x0000F8, Counting(16))}), 2, "below address 0x100"},
      {"data beyond 0xFFFFFF", SFile({S2(0xFFFFF8, Counting(16))}), 2, "0x1000000 or above"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CallSink sink;
    const ConvertResult result = ConvertToPages(c.file, sink);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.line, c.line);
    EXPECT_NE(result.message.find("line " + std::to_string(c.line)), std::string::npos) << result.message;
    EXPECT_NE(result.message.find(c.says), std::string::npos) << result.message;
    EXPECT_EQ(sink.calls, 0);  // a conversion that stops early has emitted nothing
    EXPECT_FALSE(CheckDataRecords(c.file).ok);
  }
}

TEST(ConvertToPages, OtherRecordTypesAreCheckedOnlyForTheirType) {
  // Count 03 records of types 1, 5 and 9 are normal; other types are not looked into.
  const std::string file = SFile({"S1030000FC", S2(0x1200, {1}), "S5030001FB", "S7050000000 0FA", "Sx", "S9030000FC"});
  ConvertResult result;
  EXPECT_EQ(Convert(file, &result).size(), 1u);
  EXPECT_EQ(result.pageCount, 1u);
}

TEST(ConvertToPages, BlankLinesAtTheEndAreIgnored) {
  const std::vector<PageRecord> pages{{0x12, PageText({{0, {1}}})}};
  for (const char* tail : {"\r\n", "\r\n\r\n", "\n\n\n", "   \r\n\t\r\n", "  ", "\r\n \f\v\r\n"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(tail)));
    EXPECT_EQ(Convert(SFile({S2(0x1200, {1}), kS9}) + tail), pages);
    EXPECT_EQ(Convert(SFile({S2(0x1200, {1})}) + tail), pages);
    EXPECT_EQ(Convert(SFile({S2(0x1200, {1})}, "\n") + tail), pages);
  }
}

TEST(ConvertToPages, EdgesOfTheAddressSpaceAreAccepted) {
  // The lowest and highest bytes a page can hold.
  EXPECT_EQ(Convert(SFile({S2(0x000100, {1}), S2(0xFFFFFF, {2})})),
            (std::vector<PageRecord>{{0x0001, PageText({{0x00, {1}}})}, {0xFFFF, PageText({{0xFF, {2}}})}}));
  // A record with no data bytes in page 0 holds no data there.
  EXPECT_TRUE(Convert(SFile({S2(0x000010, {})})).empty());
}

TEST(ConvertToPages, NeverReadsPastALineEnd) {
  // Each text in a buffer of exactly its size (AddressSanitizer sees any read beyond it).
  const std::string header = test::kHeader + "\n";
  for (const std::string& tail : {std::string("S"), std::string("S2"), std::string("S21"), std::string("S214"),
                                  std::string("S20800"), std::string("S208001200010203"), std::string("S2FF")}) {
    const std::string text = header + tail;
    auto buffer = std::make_unique<char[]>(text.size());
    std::copy(text.begin(), text.end(), buffer.get());
    CallSink sink;
    EXPECT_FALSE(ConvertToPages(std::string_view(buffer.get(), text.size()), sink).ok) << tail;
    EXPECT_EQ(sink.calls, 0);
  }
  for (const std::string& text : {std::string("S"), std::string(""), std::string("S0")}) {
    auto buffer = std::make_unique<char[]>(text.size() + 1);
    std::copy(text.begin(), text.end(), buffer.get());
    const std::string_view view(buffer.get(), text.size());
    EXPECT_EQ(HasHeaderLine(view), text == "S0");
    TextPageSink sink;
    EXPECT_TRUE(ConvertToPages(view, sink).ok);
  }
}

// ---- Pages ------------------------------------------------------------------------------

TEST(PageRecord, BothPageNumberEncodings) {
  const PageRecord record{0x0FFF, PageText({{0, {0xAB}}})};
  const std::string binary = EncodePageRecord(record, PageNumberEncoding::LowByteFirst);
  ASSERT_EQ(binary.size(), 514u);
  EXPECT_EQ(binary.substr(0, 2), std::string("\xFF\x0F", 2));
  EXPECT_EQ(binary.substr(2), record.text);
  const std::string text = EncodePageRecord(record, PageNumberEncoding::Hex4);
  ASSERT_EQ(text.size(), 516u);
  EXPECT_EQ(text.substr(0, 4), "0FFF");
  EXPECT_EQ(EncodePageRecord({0x00AB, record.text}, PageNumberEncoding::Hex4).substr(0, 4), "00AB");
  EXPECT_EQ(PageRecordSize(PageNumberEncoding::LowByteFirst), 514u);
  EXPECT_EQ(PageRecordSize(PageNumberEncoding::Hex4), 516u);

  TextPageSink sink;
  ASSERT_TRUE(ConvertToPages(SFile({S2(0x12F0, Counting(32)), kS9}), sink).ok);
  EXPECT_EQ(sink.encoded(PageNumberEncoding::Hex4),
            "0012" + sink.pages()[0].text + "0013" + sink.pages()[1].text);
  EXPECT_EQ(sink.encoded(PageNumberEncoding::LowByteFirst),
            std::string("\x12\x00", 2) + sink.pages()[0].text + std::string("\x13\x00", 2) + sink.pages()[1].text);
}

TEST(DecodePageText, PairsOfDigitsHighFirst) {
  std::string text = PageText({{0, {0x12, 0xAB}}});
  text.replace(4, 2, "cd");  // lower case reads the same
  const auto bytes = DecodePageText(text);
  ASSERT_TRUE(bytes);
  EXPECT_EQ((*bytes)[0], 0x12);
  EXPECT_EQ((*bytes)[1], 0xAB);
  EXPECT_EQ((*bytes)[2], 0xCD);
  EXPECT_EQ((*bytes)[255], 0xFF);
  EXPECT_FALSE(DecodePageText(text.substr(1)));
  EXPECT_FALSE(DecodePageText(text + "F"));
  text[100] = 'G';
  EXPECT_FALSE(DecodePageText(text));
}

// ---- The tests of a chosen file ---------------------------------------------------------

TEST(HasHeaderLine, OnlyAnUpperCaseSFollowedByZero) {
  EXPECT_TRUE(HasHeaderLine("S0"));
  EXPECT_TRUE(HasHeaderLine("S00600004844521B\r\nS9030000FC"));
  EXPECT_TRUE(HasHeaderLine("S0 anything"));
  for (const char* bad : {"", "S", "s0", "s00600004844521B", "S1", "\nS0", " S0", "S\n0", "0S"})
    EXPECT_FALSE(HasHeaderLine(bad)) << '"' << bad << '"';
}

TEST(MemoryMapTest, EveryPageLiesWholeInTheDataOrTheUserFlash) {
  const MemoryMap map{0x2400, 0x2C00, 0x4000, 0x14000};
  const struct {
    std::uint16_t page;
    bool inside;
  } cases[] = {
      {0x24, true},  {0x2B, true},   // the data flash, first and last page
      {0x40, true},  {0x13F, true},  // the user flash, first and last page
      {0x23, false}, {0x2C, false}, {0x3F, false},  // below, past and between
      {0x140, false}, {0xFFFF, false},               // past the user flash
      {0x01, false},
  };
  for (const auto& c : cases) EXPECT_EQ(PageInMemoryMap(c.page, map), c.inside) << std::hex << c.page;
  // No data flash: its range holds nothing, not page 0 to 0.
  EXPECT_FALSE(PageInMemoryMap(0x00, MemoryMap{0, 0, 0x4000, 0x6000}));
  // No map at all: nothing fits.
  EXPECT_FALSE(PageInMemoryMap(0x40, MemoryMap{}));
  // A flash whose end is not on a page boundary holds no page that runs over it.
  EXPECT_FALSE(PageInMemoryMap(0x5F, MemoryMap{0, 0, 0x4000, 0x5F80}));

  EXPECT_EQ(FirstPageOutside({0x40, 0x24, 0x13F}, map), std::nullopt);
  EXPECT_EQ(FirstPageOutside({0x40, 0x2000, 0x3F}, map), std::optional<std::uint16_t>(0x2000));
  EXPECT_EQ(FirstPageOutside({}, map), std::nullopt);

  // The pages of a file, as the file choice takes them.
  PageNumberSink pages;
  ASSERT_TRUE(ConvertToPages(SFile({S2(0x2BF8, Counting(16)), S1(0x4000, {1}), kS9}), pages).ok);
  EXPECT_EQ(pages.pages(), (std::vector<std::uint16_t>{0x2B, 0x2C, 0x40}));
  EXPECT_EQ(FirstPageOutside(pages.pages(), map), std::optional<std::uint16_t>(0x2C));
}

// ---- File stamp -------------------------------------------------------------------------

class LocalZone {
public:
  explicit LocalZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) saved_ = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~LocalZone() {
    if (saved_) ::setenv("TZ", saved_->c_str(), 1);
    else ::unsetenv("TZ");
    ::tzset();
  }

private:
  std::optional<std::string> saved_;
};

TEST(FileStamp, LocalTimeWithoutTheCenturyAndTheLow32BitsOfTheSize) {
  const std::time_t when = 1709618828;  // 2024-03-05 06:07:08 UTC
  {
    LocalZone utc("UTC0");
    EXPECT_EQ(MakeFileStamp(when, 1234), (FileStamp{"240305060708", 1234}));
    EXPECT_EQ(MakeFileStamp(when, 0x100000005ull).size, 5u);
  }
  {
    LocalZone tokyo("JST-9");
    EXPECT_EQ(MakeFileStamp(when, 0).time, "240305150708");
  }
}

TEST(FileStamp, ReadFromTheFile) {
  LocalZone utc("UTC0");
  test::TempDir dir;
  dir.write("a.mot", std::string(777, 'x'));
  const timespec times[2] = {{1709618828, 0}, {1709618828, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, dir.path("a.mot").c_str(), times, 0), 0);
  EXPECT_EQ(ReadFileStamp(dir.path("a.mot")), (FileStamp{"240305060708", 777}));
  EXPECT_FALSE(ReadFileStamp(dir.path("missing.mot")));
}

TEST(ReadImageFile, WholeOrNotAtAll) {
  test::TempDir dir;
  dir.write("a.mot", "S0\r\nS9030000FC");
  std::string text, error;
  EXPECT_TRUE(ReadImageFile(dir.path("a.mot"), text, error));
  EXPECT_EQ(text, "S0\r\nS9030000FC");
  EXPECT_FALSE(ReadImageFile(dir.path("missing.mot"), text, error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(ReadImageFile(dir.dir(), text, error));  // a folder
}

}  // namespace
}  // namespace fd
