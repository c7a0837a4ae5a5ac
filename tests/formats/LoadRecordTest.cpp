#include "formats/LoadRecord.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "formats/Hex.h"
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
const ImageKey kKey = ImageKeyOf(kStamp, "the file's bytes");

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

TEST(LoadRecord, TrustedOnlyWhenWholeAndOfTheSameBytes) {
  const std::string page(kLoadPageRecordSize, 'F');
  const std::string trailer = LoadRecordTrailer(kKey);
  ASSERT_EQ(trailer.size(), kDigestTrailerSize);
  EXPECT_EQ(trailer.substr(0, 4), "SHA2");
  const std::string two = Descriptor(kStamp, 2) + page + page + trailer;
  EXPECT_TRUE(LoadRecordTrusted(two, kKey));
  EXPECT_TRUE(LoadRecordTrusted(Descriptor(kStamp, 0) + trailer, kKey));  // no page
  EXPECT_FALSE(LoadRecordTrusted(two.substr(0, two.size() - 1), kKey));   // cut short
  EXPECT_FALSE(LoadRecordTrusted(two + "F", kKey));                       // longer
  EXPECT_FALSE(LoadRecordTrusted(Descriptor(kStamp, 3) + page + page + trailer, kKey));
  EXPECT_FALSE(LoadRecordTrusted(Descriptor(kStamp, 1) + page + page + trailer, kKey));
  EXPECT_FALSE(LoadRecordTrusted(Descriptor(kStamp, 0).substr(0, 17), kKey));
  EXPECT_FALSE(LoadRecordTrusted(two, ImageKey{FileStamp{"240305060709", kStamp.size}, std::nullopt, kKey.digest}));
  // The same stamp, other bytes: another file of one size written in the same second.
  const ImageKey other = ImageKeyOf(kStamp, "the file's bytez");
  EXPECT_NE(other.digest, kKey.digest);
  EXPECT_FALSE(LoadRecordTrusted(two, other));
  // An older record, without the digest: converted again.
  EXPECT_FALSE(LoadRecordTrusted(Descriptor(kStamp, 2) + page + page, kKey));
  // The right length with a page text that is not all hex digits: damaged, not whole.
  std::string damaged = two;
  damaged[kDescriptorSize + kLoadPageRecordSize + 2 + 300] = 'G';
  EXPECT_FALSE(LoadRecordTrusted(damaged, kKey));
  damaged = two;
  damaged[kDescriptorSize + 2] = '\0';
  EXPECT_FALSE(LoadRecordTrusted(damaged, kKey));
}

TEST(LoadRecord, ARecordTellsWhenItsStampHeldOtherBytes) {
  const std::string page(kLoadPageRecordSize, 'F');
  const std::string record = Descriptor(kStamp, 1) + page + LoadRecordTrailer(kKey);
  const ImageKey other = ImageKeyOf(kStamp, "another file's bytes");
  EXPECT_TRUE(LoadRecordHoldsOtherImage(record, other));
  EXPECT_FALSE(LoadRecordHoldsOtherImage(record, kKey));  // the same bytes
  // Another stamp, or an older record without the digest, tells nothing.
  EXPECT_FALSE(LoadRecordHoldsOtherImage(record, ImageKey{FileStamp{"240305060709", kStamp.size}, std::nullopt,
                                                          other.digest}));
  EXPECT_FALSE(LoadRecordHoldsOtherImage(Descriptor(kStamp, 1) + page, other));
  EXPECT_FALSE(LoadRecordHoldsOtherImage("", other));
  // A binary at another base is another image.
  const ImageKey at1000{kStamp, 0x1000, kKey.digest};
  const std::string binary = Descriptor(kStamp, 1) + page + LoadRecordTrailer(at1000);
  EXPECT_FALSE(LoadRecordHoldsOtherImage(binary, at1000));
  EXPECT_TRUE(LoadRecordHoldsOtherImage(binary, ImageKey{kStamp, 0x2000, kKey.digest}));
}

TEST(Sha256, KnownDigests) {
  const auto hex = [](const Sha256Digest& d) {
    std::string text;
    for (std::uint8_t b : d) text += HexText(b, 2);
    return text;
  };
  const struct {
    std::string text;
    const char* digest;
  } cases[] = {
      {"", "E3B0C44298FC1C149AFBF4C8996FB92427AE41E4649B934CA495991B7852B855"},
      {"abc", "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248D6A61D20638B8E5C026930C3E6039A33CE45964FF2167F6ECEDD419DB06C1"},
      {std::string(1000000, 'a'), "CDC76E5C9914FB9281A1C7E284D73E67F1809A48A497200E046D39CCC7112CD0"},
      {std::string(55, 'x'), nullptr},  // padding fits one block
      {std::string(56, 'x'), nullptr},  // padding needs a second block
  };
  for (const auto& c : cases) {
    if (c.digest) {
      EXPECT_EQ(hex(Sha256(c.text)), c.digest) << c.text.size();
      EXPECT_EQ(hex(Sha256Portable(c.text)), c.digest) << c.text.size();
    }
  }
  EXPECT_NE(Sha256(std::string(55, 'x')), Sha256(std::string(56, 'x')));
}

// The processor's SHA instructions, where this machine has them, and the portable rounds
// give the same digest for every length around the block and padding edges and for a long
// text of every byte value.
TEST(Sha256, TheInstructionsAndThePortableRoundsAgree) {
  std::string text;
  std::uint32_t seed = 12345;
  for (int i = 0; i < 300; ++i) {
    seed = seed * 1103515245u + 12345u;
    text += static_cast<char>(seed >> 16);
  }
  for (std::size_t length = 0; length <= text.size(); ++length) {
    const std::string_view part(text.data(), length);
    ASSERT_EQ(Sha256(part), Sha256Portable(part)) << length;
  }
  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
  EXPECT_EQ(Sha256(big), Sha256Portable(big));
  RecordProperty("sha_instructions", Sha256UsesShaInstructions() ? "used" : "not on this machine");
}

TEST(LoadRecord, BuiltFromAnSRecordFile) {
  const std::string file = SFile({S2(0x12F0, Counting(32)), S2(0x2000, {7}), kS9});
  const LoadRecordBuild build = BuildLoadRecord(kStamp, file);
  ASSERT_TRUE(build.result.ok) << build.result.message;
  EXPECT_EQ(build.result.pageCount, 3u);
  ASSERT_EQ(build.content.size(), 18u + 3 * 514 + 36);
  EXPECT_TRUE(LoadRecordTrusted(build.content, ImageKeyOf(kStamp, file)));
  EXPECT_FALSE(LoadRecordTrusted(build.content, ImageKeyOf(kStamp, file + "\r\n")));
  EXPECT_EQ(build.content.substr(0, 18), Descriptor(kStamp, 3));
  TextPageSink pages;
  ConvertToPages(file, pages);
  EXPECT_EQ(build.content.substr(18, 3 * 514), pages.encoded(PageNumberEncoding::LowByteFirst));
  EXPECT_EQ(build.content.substr(18 + 3 * 514), LoadRecordTrailer(ImageKeyOf(kStamp, file)));
  EXPECT_EQ(LoadRecordPageCount(build.content), 3);
  EXPECT_EQ(LoadRecordPageAt(build.content, 0).page, 0x12);
  EXPECT_EQ(LoadRecordPageAt(build.content, 1).page, 0x13);
  EXPECT_EQ(LoadRecordPageAt(build.content, 2).page, 0x20);
  EXPECT_EQ(LoadRecordPageAt(build.content, 2).text, PageText({{0, {7}}}));
  // A header-only file: the descriptor alone, page count 0 (the file choice refuses it).
  const LoadRecordBuild empty = BuildLoadRecord(kStamp, SFile({kS9}));
  ASSERT_TRUE(empty.result.ok);
  EXPECT_EQ(empty.content, Descriptor(kStamp, 0) + LoadRecordTrailer(ImageKeyOf(kStamp, SFile({kS9}))));
}

TEST(LoadRecord, AFailedConversionKeepsNothing) {
  const LoadRecordBuild build = BuildLoadRecord(kStamp, SFile({S2(0x1200, {1}), "S2080012", kS9}));
  EXPECT_FALSE(build.result.ok);
  EXPECT_EQ(build.result.line, 3u);
  EXPECT_TRUE(build.content.empty());
}

TEST(LoadRecord, ABinaryKeyCarriesItsBaseBehindThePages) {
  const ImageKey at1000{kStamp, 0x1000, kKey.digest};
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
  ASSERT_EQ(build.content.size(), 18u + 514 + 8 + 36);
  EXPECT_EQ(build.content.substr(18 + 514, 8), std::string("BIN@\x00\x10\x00\x00", 8));
  EXPECT_TRUE(StampMatches(build.content, kStamp));  // the stamp test is untouched
  EXPECT_TRUE(LoadRecordTrusted(build.content, at1000));
  EXPECT_FALSE(LoadRecordTrusted(build.content, ImageKey{kStamp, 0x2000, kKey.digest}));  // other base
  EXPECT_FALSE(LoadRecordTrusted(build.content, kKey));  // an S-record file
  const LoadRecordBuild srec = BuildLoadRecord(kKey, convert);
  EXPECT_TRUE(LoadRecordTrusted(srec.content, kKey));
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
  // The same stamp with other bytes: converted again, never the other file's pages.
  const PreparedLoadRecord other = PrepareLoadRecord(path, ImageKeyOf(kStamp, "other"), std::ref(convert));
  EXPECT_TRUE(other.converted);
  EXPECT_EQ(convert.runs, 3);
}

TEST(LoadRecordFile, AShortOrDamagedFileIsConvertedAgain) {
  test::TempDir dir;
  const std::string path = dir.path("x.tbx");
  const LoadRecordBuild build = BuildLoadRecord(kStamp, SFile({S2(0x1200, Counting(40)), kS9}));
  const ImageKey key = ImageKeyOf(kStamp, SFile({S2(0x1200, Counting(40)), kS9}));
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
  EXPECT_EQ(prepared.content.size(), 18u + 514 + 36);
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
