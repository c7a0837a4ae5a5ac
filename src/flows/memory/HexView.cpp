#include "flows/memory/HexView.h"

#include "formats/Hex.h"

namespace fd {

std::string HexViewLine(std::uint32_t lineAddress, const std::uint8_t* bytes, std::int32_t rangeStart,
                        std::int32_t rangeEnd) {
  std::string line = "0x" + HexText(lineAddress & 0xFFFFF, 5);
  line.reserve(kHexViewLineLength);
  // 0xEB - (count 0x14 + the address bytes + the data) is the S2 checksum, modulo 256.
  unsigned sum = 0xEB - ((lineAddress >> 16) & 0xFF) - ((lineAddress >> 8) & 0xFF) - (lineAddress & 0xFF);
  for (std::uint32_t i = 0; i < 16; ++i) {
    const auto address = static_cast<std::int64_t>(lineAddress) + i;
    if (address >= rangeStart && address <= rangeEnd) {
      line += ' ';
      line += HexText(bytes[i], 2);
      sum -= bytes[i];
    } else {
      line += "   ";
    }
  }
  line += "   ";
  line += HexText(sum & 0xFF, 2);
  return line;
}

}  // namespace fd
