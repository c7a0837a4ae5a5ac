#include "formats/ImageInput.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/PeerTools.h"
#include "support/SRecordText.h"
#include "support/TempDir.h"

namespace fd {
namespace {

using test::Bytes;
using test::IntelLine;
using test::S2;
using test::SFile;
using test::kS9;

struct Outcome {
  ConvertResult result;
  std::vector<PageRecord> pages;
};

Outcome Read(const std::string& path, ImageFormat format, std::uint32_t base = 0) {
  TextPageSink sink;
  Outcome outcome;
  outcome.result = ConvertImageToPages(ImageInput{path, format, base}, sink);
  outcome.pages = sink.pages();
  return outcome;
}

std::vector<PageRecord> Pages(const std::string& path, ImageFormat format, std::uint32_t base = 0) {
  const Outcome outcome = Read(path, format, base);
  EXPECT_TRUE(outcome.result.ok) << outcome.result.message;
  EXPECT_EQ(outcome.result.pageCount, outcome.pages.size());
  return outcome.pages;
}

TEST(ImageInput, TheFormatComesFromTheExtension) {
  const struct {
    const char* path;
    ImageFormat format;
  } cases[] = {
      {"a.hex", ImageFormat::IntelHex},  {"dir.x/a.HEX", ImageFormat::IntelHex}, {"a.ihex", ImageFormat::IntelHex},
      {"a.bin", ImageFormat::Binary},    {"a.Bin", ImageFormat::Binary},         {"a.mot", ImageFormat::SRecord},
      {"a.s19", ImageFormat::SRecord},   {"a", ImageFormat::SRecord},            {"hex", ImageFormat::SRecord},
  };
  for (const auto& c : cases) EXPECT_EQ(ImageFormatForPath(c.path), c.format) << c.path;
}

TEST(ImageInput, ABaseAddressIsOneToSixHexDigits) {
  const struct {
    const char* text;
    std::optional<std::uint32_t> base;
  } cases[] = {
      {"4000", 0x4000},    {"0x4000", 0x4000},  {"0XfFfFfF", 0xFFFFFF}, {"0", 0},
      {"", std::nullopt},  {"0x", std::nullopt}, {"1000000", std::nullopt}, {"12G4", std::nullopt},
      {" 4000", std::nullopt}, {"4000 ", std::nullopt}, {"-1", std::nullopt}, {"0x0x10", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseBaseAddress(c.text), c.base) << '"' << c.text << '"';
}

TEST(ImageInput, IntelHexGivesThePagesOfItsSRecordTwin) {
  test::TempDir dir;
  const Bytes a = test::Counting(16, 0x10), b = test::Counting(16, 0x80), c = test::Counting(3, 0xE0);
  // Extended linear address 0x0001xxxx, and a segment address record for the highest part.
  dir.write("a.hex", IntelLine(0x04, 0, {0x00, 0x01}) + "\r\n" + IntelLine(0x00, 0x0100, a) + "\r\n" +
                         IntelLine(0x00, 0x01F8, b) + "\r\n" + IntelLine(0x02, 0, {0x20, 0x00}) + "\r\n" +
                         IntelLine(0x00, 0x0010, c) + "\r\n" + IntelLine(0x01, 0, {}) + "\r\n");
  dir.write("a.mot", SFile({S2(0x010100, a), S2(0x0101F8, b), S2(0x020010, c), kS9}));
  const std::vector<PageRecord> twin = Pages(dir.path("a.mot"), ImageFormat::SRecord);
  ASSERT_EQ(twin.size(), 3u);  // pages 0x101, 0x102 and 0x200
  EXPECT_EQ(Pages(dir.path("a.hex"), ImageFormat::IntelHex), twin);
}

TEST(ImageInput, ABinaryIsPlacedAtItsBase) {
  test::TempDir dir;
  const Bytes bytes = test::RandomBytes(1000, 3);
  dir.write("a.bin", std::string(bytes.begin(), bytes.end()));
  EXPECT_EQ(Pages(dir.path("a.bin"), ImageFormat::Binary, 0x123456), test::ExpectedPages(0x123456, bytes));
  EXPECT_EQ(Pages(dir.path("a.bin"), ImageFormat::Binary, 0x100), test::ExpectedPages(0x100, bytes));
  EXPECT_EQ(Pages(dir.path("a.bin"), ImageFormat::Binary, 0x1000000 - 1000), test::ExpectedPages(0xFFFC18, bytes));

  const Outcome page0 = Read(dir.path("a.bin"), ImageFormat::Binary, 0xFF);
  EXPECT_FALSE(page0.result.ok);
  EXPECT_NE(page0.result.message.find("below address 0x100"), std::string::npos) << page0.result.message;
  EXPECT_TRUE(page0.pages.empty());
  const Outcome high = Read(dir.path("a.bin"), ImageFormat::Binary, 0x1000000 - 999);
  EXPECT_FALSE(high.result.ok);
  EXPECT_NE(high.result.message.find("0x1000000 or above"), std::string::npos) << high.result.message;
  const Outcome past32 = Read(dir.path("a.bin"), ImageFormat::Binary, 0xFFFFFF00);
  EXPECT_FALSE(past32.result.ok);
  EXPECT_NE(past32.result.message.find("0x1000000 or above"), std::string::npos) << past32.result.message;
}

TEST(ImageInput, FaultyFilesAreRefusedWithAMessage) {
  test::TempDir dir;
  const std::string data = IntelLine(0x04, 0, {0x00, 0x01}) + "\n" + IntelLine(0x00, 0x0100, {1, 2, 3, 4}) + "\n";
  std::string badSum = data;
  badSum[badSum.size() - 2] = badSum[badSum.size() - 2] == '0' ? '1' : '0';
  const struct {
    const char* name;
    std::string text;
    const char* says;
  } cases[] = {
      {"wrong checksum", badSum + IntelLine(0x01, 0, {}) + "\n", "checksum"},
      {"garbage line", data + "hello\n" + IntelLine(0x01, 0, {}) + "\n", "garbage"},
      {"a byte given twice", data + IntelLine(0x00, 0x0102, {3, 4}) + "\n" + IntelLine(0x01, 0, {}) + "\n",
       "0x00010102"},
      {"data past 24 bits", IntelLine(0x04, 0, {0x01, 0x00}) + "\n" + IntelLine(0x00, 0, {1}) + "\n" +
                                IntelLine(0x01, 0, {}) + "\n",
       "0x1000000 or above"},
      {"data in page 0", IntelLine(0x00, 0x0010, {1}) + "\n" + IntelLine(0x01, 0, {}) + "\n", "below address 0x100"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dir.write("bad.hex", c.text);
    const Outcome outcome = Read(dir.path("bad.hex"), ImageFormat::IntelHex);
    EXPECT_FALSE(outcome.result.ok);
    EXPECT_NE(outcome.result.message.find(c.says), std::string::npos) << outcome.result.message;
    EXPECT_TRUE(outcome.pages.empty());
  }
  for (ImageFormat format : {ImageFormat::IntelHex, ImageFormat::Binary, ImageFormat::SRecord}) {
    for (const std::string& path : {dir.path("missing"), dir.dir()}) {
      const Outcome missing = Read(path, format);
      EXPECT_FALSE(missing.result.ok);
      EXPECT_EQ(missing.result.message, kCannotOpenFileText) << path;
    }
  }
  dir.write("lower.mot", "s00600004844521B\n" + S2(0x1200, {1}) + "\n");
  EXPECT_EQ(Read(dir.path("lower.mot"), ImageFormat::SRecord).result.message, kNotMotFileText);
  dir.write("bad.mot", SFile({S2(0x1200, {1}), "S2", kS9}));
  EXPECT_NE(Read(dir.path("bad.mot"), ImageFormat::SRecord).result.message.find("line 3"), std::string::npos);
}

TEST(ImageInput, FilesMadeBySrecCatGiveTheSamePagesInEveryFormat) {
  const std::string srecCat = test::FindOnPath("srec_cat");
  if (srecCat.empty()) GTEST_SKIP() << "srec_cat is not on PATH";
  test::TempDir dir;
  for (std::uint32_t base : {0x10000u, 0x2345ABu, 0xFF0001u}) {
    SCOPED_TRACE(base);
    const Bytes bytes = test::RandomBytes(3000, base);
    dir.write("in.bin", std::string(bytes.begin(), bytes.end()));
    const auto make = [&](const std::vector<std::string>& output) {
      std::vector<std::string> args{dir.path("in.bin"), "-binary", "-offset", std::to_string(base), "-o"};
      args.insert(args.end(), output.begin(), output.end());
      ASSERT_EQ(test::RunTool(srecCat, args, dir.path("log.txt")), 0) << dir.read("log.txt");
    };
    make({dir.path("out.mot"), "-motorola", "-address-length=3"});
    make({dir.path("out.hex"), "-intel"});
    const std::vector<PageRecord> expected = test::ExpectedPages(base, bytes);
    EXPECT_EQ(Pages(dir.path("out.mot"), ImageFormat::SRecord), expected);
    EXPECT_EQ(Pages(dir.path("out.hex"), ImageFormat::IntelHex), expected);
    EXPECT_EQ(Pages(dir.path("in.bin"), ImageFormat::Binary, base), expected);
  }
}

TEST(ImageInput, ABinarysCacheKeyHoldsItsBase) {
  test::TempDir dir;
  dir.write("a.bin", std::string(600, '\x5A'));
  dir.write("a.hex", IntelLine(0x00, 0x0100, {1}) + "\n" + IntelLine(0x01, 0, {}) + "\n");
  const auto binary = ImageKeyFor(ImageInput{dir.path("a.bin"), ImageFormat::Binary, 0x4000});
  ASSERT_TRUE(binary);
  EXPECT_EQ(binary->binaryBase, 0x4000u);
  EXPECT_EQ(binary->stamp.size, 600u);
  const auto hex = ImageKeyFor(ImageInput{dir.path("a.hex"), ImageFormat::IntelHex, 0x4000});
  ASSERT_TRUE(hex);
  EXPECT_FALSE(hex->binaryBase);
  EXPECT_FALSE(ImageKeyFor(ImageInput{dir.path("missing.bin"), ImageFormat::Binary, 0}));

  // The same binary at another base is converted again, not taken from the cache.
  const std::string cache = dir.path("x.tbx");
  int runs = 0;
  const auto prepare = [&](std::uint32_t base) {
    const ImageInput input{dir.path("a.bin"), ImageFormat::Binary, base};
    return PrepareLoadRecord(cache, *ImageKeyFor(input), [&](PageSink& sink) {
      ++runs;
      return ConvertImageToPages(input, sink);
    });
  };
  EXPECT_TRUE(prepare(0x4000).converted);
  EXPECT_FALSE(prepare(0x4000).converted);
  const PreparedLoadRecord moved = prepare(0x4080);
  EXPECT_TRUE(moved.converted);
  EXPECT_EQ(LoadRecordPageAt(moved.content, 0).page, 0x40);
  EXPECT_EQ(LoadRecordPageAt(moved.content, 0).text.substr(0, 2), "FF");
  EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace fd
