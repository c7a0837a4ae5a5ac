#include "cli/JsonText.h"

#include "formats/Hex.h"

#include <cstdint>

namespace fd {
namespace {

// The length of the valid UTF-8 character at `at`, 0 when the bytes there are not one.
std::size_t Utf8CharLength(std::string_view bytes, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  const std::uint8_t lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint32_t min = 0;
  std::uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min = 0x80, code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min = 0x800, code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min = 0x10000, code = lead & 0x07u;
  } else {
    return 0;
  }
  if (at + length > bytes.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (byte(at + i) & 0x3Fu);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

nlohmann::json Valid(const nlohmann::json& value) {
  if (value.is_string()) {
    const std::string& text = value.get_ref<const std::string&>();
    return IsValidUtf8(text) ? value : nlohmann::json(Utf8OrEscaped(text));
  }
  if (value.is_array()) {
    nlohmann::json out = nlohmann::json::array();
    for (const auto& item : value) out.push_back(Valid(item));
    return out;
  }
  if (value.is_object()) {
    nlohmann::json out = nlohmann::json::object();
    for (auto it = value.begin(); it != value.end(); ++it) out[Utf8OrEscaped(it.key())] = Valid(it.value());
    return out;
  }
  return value;
}

}  // namespace

std::string Latin1Text(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (const char c : bytes) {
    const auto code = static_cast<std::uint8_t>(c);
    if (code < 0x80) {
      text += c;
    } else {
      text += static_cast<char>(0xC0 | (code >> 6));
      text += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return text;
}

bool IsValidUtf8(std::string_view bytes) {
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t length = Utf8CharLength(bytes, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string Utf8OrEscaped(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t length = Utf8CharLength(bytes, at);
    if (length != 0) {
      text.append(bytes.substr(at, length));
      at += length;
      continue;
    }
    const auto code = static_cast<std::uint8_t>(bytes[at++]);
    text += "\\x";
    AppendHexByte(text, code);
  }
  return text;
}

std::string JsonText(const nlohmann::json& value) {
  // Made valid first, so the library's own strict check never finds a byte to stop on; the
  // replacing handler only stands behind that.
  return Valid(value).dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace fd
