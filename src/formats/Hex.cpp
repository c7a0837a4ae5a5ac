#include "formats/Hex.h"

namespace fd {

std::uint64_t ParseHex(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = HexDigitValue(text[i]);
    if (digit < 0) return kParseHexInvalid;
    value = value * 16 + static_cast<std::uint64_t>(digit);
  }
  return value;
}

bool ParseHexBytes(std::string_view text, std::uint8_t* out, std::size_t count) {
  if (text.size() != 2 * count) return false;
  if (!IsAllHex(text)) return false;
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = static_cast<std::uint8_t>(HexDigitValue(text[2 * i]) * 16 + HexDigitValue(text[2 * i + 1]));
  }
  return true;
}

std::string HexText(std::uint64_t value, int digits) {
  std::string text;
  do {
    text.insert(text.begin(), HexDigitChar(static_cast<unsigned>(value)));
    value >>= 4;
  } while (value != 0);
  if (static_cast<int>(text.size()) < digits) text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
  return text;
}

std::string HexBytes(const std::uint8_t* bytes, std::size_t count, std::string_view separator) {
  std::string text;
  text.reserve(count * (2 + separator.size()));
  for (std::size_t i = 0; i < count; ++i) {
    if (i != 0) text += separator;
    AppendHexByte(text, bytes[i]);
  }
  return text;
}

}  // namespace fd
