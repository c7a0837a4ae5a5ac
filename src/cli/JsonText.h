#pragma once
// The one way the command line writes JSON. JSON carries UTF-8 only, while the program's
// texts are single bytes: a programmer's texts are Latin-1 (one byte, one character, as
// the windows show them), and a file name is whatever bytes the file system holds. Every
// text is made valid before it is written, so --json never stops on a byte.
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace fd {

// A programmer's single-byte text as UTF-8: each byte is the Latin-1 character of its code.
std::string Latin1Text(std::string_view bytes);

// A file name or any other text of unknown encoding: valid UTF-8 as it is, and each byte
// that is not part of a valid UTF-8 character written as the four characters "\xNN".
std::string Utf8OrEscaped(std::string_view bytes);

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates, at most U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// `value` as indented JSON text (without a final line end): every text and key that is not
// valid UTF-8 is written by the Utf8OrEscaped() rule. Never throws.
std::string JsonText(const nlohmann::json& value);

}  // namespace fd
