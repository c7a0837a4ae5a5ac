// S-record files made by other tools (srec_cat, objcopy) convert to the bytes of the binary
// they were made from: S1 records (objcopy below 64K), S2 and S3 (srec_cat asked for 4 address
// bytes) alike.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/SRecord.h"
#include "support/PeerTools.h"
#include "support/SRecordText.h"
#include "support/TempDir.h"

namespace fd {
namespace {

const struct {
  std::uint32_t base;
  std::size_t length;
  int recordLength;  // data bytes per record the tool is asked for
} kImages[] = {
    {0x10000, 4096, 16}, {0x123457, 3001, 37}, {0x2FFF0, 40, 32}, {0xFFF000, 4096, 250}, {0x10101, 1, 16},
    {0x4000, 3000, 16},  {0x100, 300, 32},     {0xFFF0, 64, 16},
};

std::vector<PageRecord> ConvertFile(const test::TempDir& dir, const std::string& name) {
  const std::string text = dir.read(name);
  EXPECT_TRUE(HasHeaderLine(text));
  TextPageSink sink;
  const ConvertResult result = ConvertToPages(text, sink);
  EXPECT_TRUE(result.ok) << result.message;
  return sink.pages();
}

TEST(SRecordPeers, SrecCatFilesConvertToTheBytesOfTheirBinary) {
  const std::string srecCat = test::FindOnPath("srec_cat");
  if (srecCat.empty()) GTEST_SKIP() << "srec_cat is not on PATH";
  test::TempDir dir;
  for (const char* addressLength : {"-address-length=3", "-address-length=4"}) {
    for (const auto& image : kImages) {
      SCOPED_TRACE(std::string(addressLength) + " " + std::to_string(image.base));
      const test::Bytes bytes = test::RandomBytes(image.length, image.base);
      dir.write("in.bin", std::string(bytes.begin(), bytes.end()));
      ASSERT_EQ(test::RunTool(srecCat, {dir.path("in.bin"), "-binary", "-offset", std::to_string(image.base), "-o",
                                        dir.path("out.mot"), "-motorola", addressLength,
                                        "-obs=" + std::to_string(image.recordLength)},
                              dir.path("log.txt")),
                0)
          << dir.read("log.txt");
      EXPECT_EQ(ConvertFile(dir, "out.mot"), test::ExpectedPages(image.base, bytes));
    }
  }
}

TEST(SRecordPeers, ObjcopyFilesConvertToTheBytesOfTheirBinary) {
  const std::string objcopy = test::FindOnPath("objcopy");
  if (objcopy.empty()) GTEST_SKIP() << "objcopy is not on PATH";
  test::TempDir dir;
  for (const auto& image : kImages) {
    SCOPED_TRACE(image.base);
    const test::Bytes bytes = test::RandomBytes(image.length, image.base + 1);
    dir.write("in.bin", std::string(bytes.begin(), bytes.end()));
    ASSERT_EQ(test::RunTool(objcopy, {"-I", "binary", "-O", "srec", "--change-addresses", std::to_string(image.base),
                                      "--srec-len=" + std::to_string(image.recordLength), dir.path("in.bin"),
                                      dir.path("out.mot")},
                            dir.path("log.txt")),
              0)
        << dir.read("log.txt");
    const std::string text = dir.read("out.mot");
    if (image.base + image.length <= 0x10000) {
      EXPECT_NE(text.find("\nS1"), std::string::npos);
    }
    EXPECT_EQ(ConvertFile(dir, "out.mot"), test::ExpectedPages(image.base, bytes));
  }
}

}  // namespace
}  // namespace fd
