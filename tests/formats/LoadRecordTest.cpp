#include "formats/LoadRecord.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/SRecordText.h"
#include "support/TempDir.h"

namespace fd {
namespace {

using test::Counting;
using test::PageText;
using test::S2;
using test::SFile;
using test::kS9;

const FileStamp kStamp{"240305060708", 0x01020304};

std::string Descriptor(const FileStamp& stamp, std::uint16_t pages) {
  const auto bytes = EncodeDescriptor(ImageDescriptor{stamp, pages});
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

TEST(ImageDescriptor, EighteenBytesAsThePartLaysThemOut) {
  EXPECT_EQ(Descriptor(kStamp, 0x0A0B), std::string("240305060708\x04\x03\x02\x01\x0B\x0A", 18));
  const auto bytes = EncodeDescriptor(ImageDescriptor{kStamp, 0x0A0B});
  EXPECT_EQ(DecodeDescriptor(bytes.data()), (ImageDescriptor{kStamp, 0x0A0B}));
  // The time is the text up to the first zero byte.
  const std::uint8_t cut[18] = {'2', '4', 0, '3', '0', '5', '0', '6', '0', '7', '0', '8', 1, 0, 0, 0, 2, 0};
  EXPECT_EQ(DecodeDescriptor(cut), (ImageDescriptor{FileStamp{"24", 1}, 2}));
}

TEST(LoadRecord, TheStampTest) {
  const std::string head = Descriptor(kStamp, 0);
  EXPECT_TRUE(StampMatches(head, kStamp));
  EXPECT_TRUE(StampMatches(head.substr(0, 16), kStamp));               // 16 bytes are enough
  EXPECT_FALSE(StampMatches(head.substr(0, 15), kStamp));              // fewer: another file
  EXPECT_FALSE(StampMatches("", kStamp));
  EXPECT_FALSE(StampMatches(head, FileStamp{"240305060709", kStamp.size}));  // another second
  EXPECT_FALSE(StampMatches(head, FileStamp{kStamp.time, kStamp.size + 1}));  // another size
  std::string zero = head;
  zero[6] = '\0';  // the time text ends there: "240305"
  EXPECT_FALSE(StampMatches(zero, kStamp));
  EXPECT_TRUE(StampMatches(zero, FileStamp{"240305", kStamp.size}));
}

TEST(LoadRecord, TrustedOnlyWhenWhole) {
  const std::string page(kLoadPageRecordSize, 'F');
  const std::string two = Descriptor(kStamp, 2) + page + page;
  EXPECT_TRUE(LoadRecordTrusted(two, kStamp));
  EXPECT_TRUE(LoadRecordTrusted(Descriptor(kStamp, 0), kStamp));      // no data records
  EXPECT_FALSE(LoadRecordTrusted(two.substr(0, two.size() - 1), kStamp));  // cut short
  EXPECT_FALSE(LoadRecordTrusted(two + "F", kStamp));                 // longer
  EXPECT_FALSE(LoadRecordTrusted(Descriptor(kStamp, 3) + page + page, kStamp));
  EXPECT_FALSE(LoadRecordTrusted(Descriptor(kStamp, 1) + page + page, kStamp));
  EXPECT_FALSE(LoadRecordTrusted(Descriptor(kStamp, 0).substr(0, 17), kStamp));
  EXPECT_FALSE(LoadRecordTrusted(two, FileStamp{"240305060709", kStamp.size}));
  // The right length with a page text that is not all hex digits: damaged, not whole.
  std::string damaged = two;
  damaged[kDescriptorSize + kLoadPageRecordSize + 2 + 300] = 'G';
  EXPECT_FALSE(LoadRecordTrusted(damaged, kStamp));
  damaged = two;
  damaged[kDescriptorSize + 2] = '\0';
  EXPECT_FALSE(LoadRecordTrusted(damaged, kStamp));
}

TEST(LoadRecord, BuiltFromAnSRecordFile) {
  const std::string file = SFile({S2(0x12F0, Counting(32)), S2(0x2000, {7}), kS9});
  const LoadRecordBuild build = BuildLoadRecord(kStamp, file);
  ASSERT_TRUE(build.result.ok) << build.result.message;
  EXPECT_EQ(build.result.pageCount, 3u);
  ASSERT_EQ(build.content.size(), 18u + 3 * 514);
  EXPECT_TRUE(LoadRecordTrusted(build.content, kStamp));
  EXPECT_EQ(build.content.substr(0, 18), Descriptor(kStamp, 3));
  TextPageSink pages;
  ConvertToPages(file, pages);
  EXPECT_EQ(build.content.substr(18), pages.encoded(PageNumberEncoding::LowByteFirst));
  EXPECT_EQ(LoadRecordPageCount(build.content), 3);
  EXPECT_EQ(LoadRecordPageAt(build.content, 0).page, 0x12);
  EXPECT_EQ(LoadRecordPageAt(build.content, 1).page, 0x13);
  EXPECT_EQ(LoadRecordPageAt(build.content, 2).page, 0x20);
  EXPECT_EQ(LoadRecordPageAt(build.content, 2).text, PageText({{0, {7}}}));
  // A header-only file: the descriptor alone, page count 0.
  const LoadRecordBuild empty = BuildLoadRecord(kStamp, SFile({kS9}));
  ASSERT_TRUE(empty.result.ok);
  EXPECT_EQ(empty.content, Descriptor(kStamp, 0));
}

TEST(LoadRecord, AFailedConversionKeepsNothing) {
  const LoadRecordBuild build = BuildLoadRecord(kStamp, SFile({S2(0x1200, {1}), "S2080012", kS9}));
  EXPECT_FALSE(build.result.ok);
  EXPECT_EQ(build.result.line, 3u);
  EXPECT_TRUE(build.content.empty());
}

TEST(LoadRecord, ABinaryKeyCarriesItsBaseBehindThePages) {
  const ImageKey at1000{kStamp, 0x1000};
  const auto convert = [](PageSink& sink) {
    sink.beginPage(0x10);
    sink.append(std::string(512, 'F'));
    ConvertResult result;
    result.ok = true;
    result.pageCount = 1;
    return result;
  };
  const LoadRecordBuild build = BuildLoadRecord(at1000, convert);
  ASSERT_TRUE(build.result.ok);
  ASSERT_EQ(build.content.size(), 18u + 514 + 8);
  EXPECT_EQ(build.content.substr(18 + 514), std::string("BIN@\x00\x10\x00\x00", 8));
  EXPECT_TRUE(StampMatches(build.content, kStamp));  // the stamp test is untouched
  EXPECT_TRUE(LoadRecordTrusted(build.content, at1000));
  EXPECT_FALSE(LoadRecordTrusted(build.content, ImageKey{kStamp, 0x2000}));  // same file, other base
  EXPECT_FALSE(LoadRecordTrusted(build.content, kStamp));                    // an S-record file
  const LoadRecordBuild srec = BuildLoadRecord(ImageKey{kStamp, std::nullopt}, convert);
  EXPECT_TRUE(LoadRecordTrusted(srec.content, kStamp));
  EXPECT_FALSE(LoadRecordTrusted(srec.content, at1000));  // a binary of the same stamp
}

// ---- The cache on disk ------------------------------------------------------------------

struct CountingConvert {
  std::string text;
  int runs = 0;
  ConvertResult operator()(PageSink& sink) {
    ++runs;
    return ConvertToPages(text, sink);
  }
};

TEST(LoadRecordFile, ConvertedOnceReusedWhileTheStampHolds) {
  test::TempDir dir;
  const std::string path = dir.path("ZK40 Family Flashdock.tbx");
  CountingConvert convert{SFile({S2(0x1200, Counting(40)), kS9})};
  const auto run = [&](const FileStamp& stamp) {
    return PrepareLoadRecord(path, ImageKey{stamp, std::nullopt}, std::ref(convert));
  };
  const PreparedLoadRecord first = run(kStamp);
  ASSERT_TRUE(first.result.ok);
  EXPECT_TRUE(first.converted);
  EXPECT_TRUE(first.stored) << first.storeError;
  EXPECT_EQ(dir.read("ZK40 Family Flashdock.tbx"), first.content);

  const PreparedLoadRecord second = run(kStamp);
  EXPECT_FALSE(second.converted);
  EXPECT_EQ(second.content, first.content);
  EXPECT_EQ(second.result.pageCount, 1u);
  EXPECT_EQ(convert.runs, 1);

  // Touched: another time, converted again.
  EXPECT_TRUE(run(FileStamp{"240305060709", kStamp.size}).converted);
  EXPECT_EQ(convert.runs, 2);
}

TEST(LoadRecordFile, AShortOrDamagedFileIsConvertedAgain) {
  test::TempDir dir;
  const std::string path = dir.path("x.tbx");
  const LoadRecordBuild build = BuildLoadRecord(kStamp, SFile({S2(0x1200, Counting(40)), kS9}));
  const ImageKey key{kStamp, std::nullopt};
  dir.write("x.tbx", build.content.substr(0, build.content.size() - 1));  // a write cut short
  EXPECT_FALSE(ReadTrustedLoadRecord(path, key));
  dir.write("x.tbx", build.content.substr(0, 16));                      // the stamp alone
  EXPECT_FALSE(ReadTrustedLoadRecord(path, key));
  dir.write("x.tbx", "");                                                 // as start-up makes it
  EXPECT_FALSE(ReadTrustedLoadRecord(path, key));
  EXPECT_FALSE(ReadTrustedLoadRecord(dir.path("missing.tbx"), key));
  dir.write("x.tbx", build.content);
  EXPECT_EQ(ReadTrustedLoadRecord(path, key), build.content);
}

TEST(LoadRecordFile, AConversionThatStopsEarlyNeverStoresTheNewStamp) {
  test::TempDir dir;
  const std::string path = dir.path("x.tbx");
  CountingConvert good{SFile({S2(0x1200, {1}), kS9})};
  ASSERT_TRUE(PrepareLoadRecord(path, ImageKey{kStamp, std::nullopt}, std::ref(good)).stored);
  const std::string before = dir.read("x.tbx");

  const FileStamp other{"250101000000", 99};
  CountingConvert bad{SFile({S2(0x1300, {1}), "S2FF0012", kS9})};
  const PreparedLoadRecord failed = PrepareLoadRecord(path, ImageKey{other, std::nullopt}, std::ref(bad));
  EXPECT_FALSE(failed.result.ok);
  EXPECT_NE(failed.result.message.find("line 3"), std::string::npos) << failed.result.message;
  EXPECT_TRUE(failed.content.empty());
  EXPECT_FALSE(failed.stored);
  EXPECT_EQ(dir.read("x.tbx"), before);  // the old file's list, with the old file's stamp
  // A later load of the same (still bad, or now mended) file converts again.
  PrepareLoadRecord(path, ImageKey{other, std::nullopt}, std::ref(bad));
  EXPECT_EQ(bad.runs, 2);
}

TEST(LoadRecordFile, AWriteThatFailsStillGivesThePages) {
  test::TempDir dir;
  ASSERT_EQ(::mkdir(dir.path("ro").c_str(), 0500), 0);
  CountingConvert convert{SFile({S2(0x1200, {1}), kS9})};
  test::AsPlainUser plain(dir);
  if (!plain.active()) GTEST_SKIP() << "cannot drop root's rights";
  const PreparedLoadRecord prepared =
      PrepareLoadRecord(dir.path("ro/x.tbx"), ImageKey{kStamp, std::nullopt}, std::ref(convert));
  EXPECT_TRUE(prepared.result.ok);
  EXPECT_FALSE(prepared.stored);
  EXPECT_FALSE(prepared.storeError.empty());
  EXPECT_EQ(prepared.content.size(), 18u + 514);
}

TEST(LoadRecordFile, WrittenWholeThroughAReplace) {
  test::TempDir dir;
  std::string error;
  ASSERT_TRUE(WriteLoadRecord(dir.path("x.tbx"), "first", error)) << error;
  ASSERT_TRUE(WriteLoadRecord(dir.path("x.tbx"), "second", error)) << error;
  EXPECT_EQ(dir.read("x.tbx"), "second");
  // No temporary file is left beside it.
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.dir())) ++files;
  EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace fd
