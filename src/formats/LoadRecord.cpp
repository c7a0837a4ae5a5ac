#include "formats/LoadRecord.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "formats/FileIo.h"
#include "formats/Hex.h"

namespace fd {
namespace {

constexpr char kTrailerMark[4] = {'B', 'I', 'N', '@'};
constexpr char kDigestMark[4] = {'S', 'H', 'A', '2'};

std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void PutLe32(char* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

const unsigned char* Bytes(std::string_view text) { return reinterpret_cast<const unsigned char*>(text.data()); }

// What follows the page records: nothing (an older record), a binary's base, a digest, or
// both in that order. `known` is false for anything else.
struct Trailer {
  bool known = false;
  std::optional<std::uint32_t> base;
  std::optional<Sha256Digest> digest;
};

Trailer ReadTrailer(std::string_view loadRecord) {
  Trailer trailer;
  if (loadRecord.size() < kDescriptorSize) return trailer;
  const std::size_t listEnd = kDescriptorSize + kLoadPageRecordSize * LoadRecordPageCount(loadRecord);
  if (loadRecord.size() < listEnd) return trailer;
  std::string_view rest = loadRecord.substr(listEnd);
  if (rest.size() >= kBaseTrailerSize && std::memcmp(rest.data(), kTrailerMark, sizeof kTrailerMark) == 0) {
    trailer.base = Le32(Bytes(rest) + 4);
    rest.remove_prefix(kBaseTrailerSize);
  }
  if (rest.size() == kDigestTrailerSize && std::memcmp(rest.data(), kDigestMark, sizeof kDigestMark) == 0) {
    Sha256Digest digest{};
    std::memcpy(digest.data(), rest.data() + sizeof kDigestMark, digest.size());
    trailer.digest = digest;
    rest = {};
  }
  trailer.known = rest.empty();
  return trailer;
}

}  // namespace

ImageKey ImageKeyOf(const FileStamp& stamp, std::string_view content, std::optional<std::uint32_t> binaryBase) {
  return ImageKey{stamp, binaryBase, Sha256(content)};
}

std::string LoadRecordTrailer(const ImageKey& key) {
  std::string trailer;
  if (key.binaryBase) {
    char base[kBaseTrailerSize];
    std::memcpy(base, kTrailerMark, sizeof kTrailerMark);
    PutLe32(base + 4, *key.binaryBase);
    trailer.append(base, sizeof base);
  }
  trailer.append(kDigestMark, sizeof kDigestMark);
  trailer.append(reinterpret_cast<const char*>(key.digest.data()), key.digest.size());
  return trailer;
}

std::array<std::uint8_t, kDescriptorSize> EncodeDescriptor(const ImageDescriptor& descriptor) {
  std::array<std::uint8_t, kDescriptorSize> bytes{};
  for (std::size_t i = 0; i < kStampTimeLength && i < descriptor.stamp.time.size(); ++i)
    bytes[i] = static_cast<std::uint8_t>(descriptor.stamp.time[i]);
  for (int i = 0; i < 4; ++i) bytes[12 + i] = static_cast<std::uint8_t>((descriptor.stamp.size >> (8 * i)) & 0xFF);
  bytes[16] = static_cast<std::uint8_t>(descriptor.pageCount & 0xFF);
  bytes[17] = static_cast<std::uint8_t>(descriptor.pageCount >> 8);
  return bytes;
}

ImageDescriptor DecodeDescriptor(const std::uint8_t* bytes) {
  ImageDescriptor descriptor;
  const void* zero = std::memchr(bytes, 0, kStampTimeLength);
  const std::size_t length =
      zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - bytes) : kStampTimeLength;
  descriptor.stamp.time.assign(reinterpret_cast<const char*>(bytes), length);
  descriptor.stamp.size = Le32(bytes + 12);
  descriptor.pageCount = static_cast<std::uint16_t>(bytes[16] | bytes[17] << 8);
  return descriptor;
}

bool StampMatches(std::string_view loadRecord, const FileStamp& stamp) {
  if (loadRecord.size() < 16) return false;
  const std::string_view head = loadRecord.substr(0, kStampTimeLength);
  const std::string_view time = head.substr(0, head.find('\0'));
  return time == stamp.time && Le32(Bytes(loadRecord) + 12) == stamp.size;
}

bool LoadRecordTrusted(std::string_view loadRecord, const ImageKey& key) {
  if (loadRecord.size() < kDescriptorSize || !StampMatches(loadRecord, key.stamp)) return false;
  const Trailer trailer = ReadTrailer(loadRecord);
  if (!trailer.known || !trailer.digest || *trailer.digest != key.digest || trailer.base != key.binaryBase) return false;
  // A page text that is not all hex digits would be sent as something else than the file
  // holds, or not at all halfway through a load: such a record is converted anew.
  const std::size_t pages = LoadRecordPageCount(loadRecord);
  for (std::size_t i = 0; i < pages; ++i) {
    const std::string_view text = LoadRecordPageAt(loadRecord, i).text;
    if (!IsAllHex(text)) return false;
  }
  return true;
}

bool LoadRecordHoldsOtherImage(std::string_view loadRecord, const ImageKey& key) {
  if (loadRecord.size() < kDescriptorSize || !StampMatches(loadRecord, key.stamp)) return false;
  const Trailer trailer = ReadTrailer(loadRecord);
  if (!trailer.known || !trailer.digest) return false;
  return *trailer.digest != key.digest || trailer.base != key.binaryBase;
}

void LoadRecordSink::beginPage(std::uint16_t page) {
  content_.push_back(static_cast<char>(page & 0xFF));
  content_.push_back(static_cast<char>(page >> 8));
}

void LoadRecordSink::append(std::string_view hexCharacters) { content_ += hexCharacters; }

LoadRecordBuild BuildLoadRecord(const ImageKey& key, const std::function<ConvertResult(PageSink&)>& convert,
                                std::size_t sizeHint) {
  LoadRecordBuild build;
  std::string content;
  content.reserve(kDescriptorSize + sizeHint);
  content.resize(kDescriptorSize, '\0');
  LoadRecordSink sink(content);
  build.result = convert(sink);
  if (!build.result.ok) return build;
  const auto descriptor = EncodeDescriptor(ImageDescriptor{key.stamp, static_cast<std::uint16_t>(build.result.pageCount)});
  std::memcpy(content.data(), descriptor.data(), descriptor.size());
  content += LoadRecordTrailer(key);
  build.content = std::move(content);
  return build;
}

LoadRecordBuild BuildLoadRecord(const FileStamp& stamp, std::string_view sRecordText) {
  // A dense file of 16-byte records takes 736 characters a page, whose record is 514 bytes:
  // the text's own size is a fair bound to reserve once.
  return BuildLoadRecord(
      ImageKeyOf(stamp, sRecordText), [sRecordText](PageSink& sink) { return ConvertToPages(sRecordText, sink); },
      sRecordText.size());
}

std::uint16_t LoadRecordPageCount(std::string_view loadRecord) {
  if (loadRecord.size() < kDescriptorSize) return 0;
  return static_cast<std::uint16_t>(Bytes(loadRecord)[16] | Bytes(loadRecord)[17] << 8);
}

LoadRecordPage LoadRecordPageAt(std::string_view loadRecord, std::size_t index) {
  const std::size_t at = kDescriptorSize + kLoadPageRecordSize * index;
  const unsigned char* p = Bytes(loadRecord) + at;
  return LoadRecordPage{static_cast<std::uint16_t>(p[0] | p[1] << 8), loadRecord.substr(at + 2, kPageTextLength)};
}

bool WriteLoadRecord(const std::string& path, std::string_view content, std::string& error) {
  const FileResult outcome = FileIo::replace(path, content);
  error = outcome.error;
  return outcome.ok;
}

std::optional<std::string> ReadTrustedLoadRecord(const std::string& path, const ImageKey& key) {
  std::string content;
  if (!FileIo::readAll(path, content, kLoadRecordLimit).ok) return std::nullopt;
  if (!LoadRecordTrusted(content, key)) return std::nullopt;
  return content;
}

bool LoadRecordFileHoldsOtherImage(const std::string& path, const ImageKey& key) {
  std::string content;
  if (!FileIo::readAll(path, content, kLoadRecordLimit).ok) return false;
  return LoadRecordHoldsOtherImage(content, key);
}

PreparedLoadRecord PrepareLoadRecord(const std::string& path, const ImageKey& key,
                                     const std::function<ConvertResult(PageSink&)>& convert,
                                     std::size_t sizeHint) {
  PreparedLoadRecord prepared;
  if (std::optional<std::string> stored = ReadTrustedLoadRecord(path, key)) {
    prepared.result.ok = true;
    prepared.result.pageCount = LoadRecordPageCount(*stored);
    prepared.content = std::move(*stored);
    return prepared;
  }
  LoadRecordBuild build = BuildLoadRecord(key, convert, sizeHint);
  prepared.converted = true;
  prepared.result = std::move(build.result);
  if (!prepared.result.ok) return prepared;
  prepared.content = std::move(build.content);
  prepared.stored = WriteLoadRecord(path, prepared.content, prepared.storeError);
  return prepared;
}

}  // namespace fd
