#pragma once
// Text from the programmers and the flows is single-byte: one byte, one character. Shown
// as Latin-1, every byte stays visible as itself; decoding it as UTF-8 would turn each
// byte from 0x80 up into a replacement mark.
#include <QString>
#include <string>
#include <string_view>

namespace fd {

inline QString SingleByteText(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Back to single bytes; a character beyond Latin-1 becomes '?'.
inline std::string ToSingleByte(const QString& text) { return text.toLatin1().toStdString(); }

}  // namespace fd
