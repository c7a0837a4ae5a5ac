#include "formats/SRecordWriter.h"

#include <algorithm>

#include "formats/Hex.h"

namespace fd {
namespace {

void PutByte(std::string& out, std::uint8_t value) { AppendHexByte(out, value); }

void PutAddress(std::string& out, std::uint32_t address, std::uint8_t& sum) {
  for (int shift = 16; shift >= 0; shift -= 8) {
    const auto byte = static_cast<std::uint8_t>((address >> shift) & 0xFF);
    PutByte(out, byte);
    sum = static_cast<std::uint8_t>(sum + byte);
  }
}

// One S2 record: count = data bytes + 4, checksum the ones' complement of the low byte of
// the sum of count, address and data.
void PutDataRecord(std::string& out, std::uint32_t address, const std::uint8_t* data, std::size_t length) {
  const auto count = static_cast<std::uint8_t>(length + 4);
  std::uint8_t sum = count;
  out += "S2";
  PutByte(out, count);
  PutAddress(out, address, sum);
  for (std::size_t i = 0; i < length; ++i) {
    PutByte(out, data[i]);
    sum = static_cast<std::uint8_t>(sum + data[i]);
  }
  PutByte(out, static_cast<std::uint8_t>(~sum));
  out += "\r\n";
}

}  // namespace

SRecordText WriteSRecords(std::span<const std::uint8_t> bytes, std::uint32_t start) {
  SRecordText result;
  if (bytes.empty()) {
    result.message = kNothingReadText;
    return result;
  }
  if (start > 0xFFFFFF || bytes.size() > 0x1000000 - start) {
    result.message = "The read data runs past address 0xFFFFFF, which S2 records cannot carry.";
    return result;
  }
  // One line of the hex view is 16 bytes from a multiple of 16; each becomes one record,
  // the first from the start address, the last up to the last byte read.
  std::string& out = result.text;
  out.reserve(18 + (bytes.size() / 16 + 2) * 46 + 12);
  out += kSRecordHeaderLine;
  out += "\r\n";
  std::size_t at = 0;
  std::uint32_t address = start;
  while (at < bytes.size()) {
    const std::size_t lineRoom = 16 - (address & 0xF);
    const std::size_t length = std::min(lineRoom, bytes.size() - at);
    PutDataRecord(out, address, bytes.data() + at, length);
    at += length;
    address += static_cast<std::uint32_t>(length);
  }
  std::uint8_t sum = 0x04;
  out += "S804";
  PutAddress(out, start, sum);
  PutByte(out, static_cast<std::uint8_t>(~sum));
  result.ok = true;
  return result;
}

}  // namespace fd
