// The load-record file: trusted only when whole, its pages then read as a load sends them.
// The key is taken from the record itself (its stamp, base and digest), so a damaged file
// claiming to be the chosen image's is what gets tested.
#include <cstring>

#include "FuzzSupport.h"
#include "formats/LoadRecord.h"

using namespace fd;

namespace {
ImageKey KeyClaimedBy(std::string_view record) {
  ImageKey key;
  if (record.size() >= kDescriptorSize) {
    key.stamp = DecodeDescriptor(reinterpret_cast<const std::uint8_t*>(record.data())).stamp;
  }
  if (record.size() >= kDigestTrailerSize) {
    std::memcpy(key.digest.data(), record.data() + record.size() - key.digest.size(), key.digest.size());
    const std::size_t base = record.size() - kDigestTrailerSize;
    if (base >= kBaseTrailerSize && record.substr(base - kBaseTrailerSize, 4) == "BIN@") {
      const auto* b = reinterpret_cast<const std::uint8_t*>(record.data() + base - 4);
      key.binaryBase = b[0] | b[1] << 8 | b[2] << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    }
  }
  return key;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view record = fuzz::AsText(data, size);
  const ImageKey key = KeyClaimedBy(record);
  (void)StampMatches(record, key.stamp);
  (void)LoadRecordHoldsOtherImage(record, key);
  const bool trusted = LoadRecordTrusted(record, key);

  const std::string path = fuzz::ScratchFolder::get().write("ZK40 Family Flashdock.tbx", record);
  const std::optional<std::string> read = ReadTrustedLoadRecord(path, key);
  FUZZ_CHECK(read.has_value() == trusted);
  (void)LoadRecordFileHoldsOtherImage(path, key);
  if (!trusted) return 0;
  // What a load sends from a trusted record: every page whole and decodable.
  const std::uint16_t count = LoadRecordPageCount(*read);
  for (std::size_t i = 0; i < count; ++i) {
    const LoadRecordPage page = LoadRecordPageAt(*read, i);
    FUZZ_CHECK(page.text.size() == kPageTextLength);
    FUZZ_CHECK(DecodePageText(page.text).has_value());
  }
  return 0;
}
