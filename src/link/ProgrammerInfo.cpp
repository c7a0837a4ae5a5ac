#include "link/ProgrammerInfo.h"

namespace fd {

std::string InfoNameText(const ProgrammerInfo& block) {
  std::string text;
  for (std::size_t i = info::kNames; i < block.size() && block[i] != 0; ++i) {
    text.push_back(static_cast<char>(block[i]));
  }
  return text;
}

std::string InfoMcuName(const ProgrammerInfo& block) {
  return InfoNameText(block).substr(0, info::kMcuNameSize);
}

std::string InfoFileName(const ProgrammerInfo& block) {
  const std::string text = InfoNameText(block);
  if (text.size() <= info::kMcuNameSize) return {};
  return text.substr(info::kMcuNameSize, info::kFileNameSize);
}

std::uint32_t InfoFileSize(const ProgrammerInfo& block) {
  const std::size_t o = info::kFileSize;
  return static_cast<std::uint32_t>(block[o]) | static_cast<std::uint32_t>(block[o + 1]) << 8 |
         static_cast<std::uint32_t>(block[o + 2]) << 16 | static_cast<std::uint32_t>(block[o + 3]) << 24;
}

std::uint16_t InfoPageCount(const ProgrammerInfo& block) {
  return static_cast<std::uint16_t>(block[info::kPageCount] | block[info::kPageCount + 1] << 8);
}

std::uint16_t InfoBlockEntry(const ProgrammerInfo& block, std::size_t index) {
  const std::size_t o = info::kBlockTable + 2 * index;
  return static_cast<std::uint16_t>(block[o] | block[o + 1] << 8);
}

std::string InfoModifyDigits(const ProgrammerInfo& block) {
  return std::string(block.begin() + info::kModifyTime,
                     block.begin() + info::kModifyTime + info::kModifyTimeSize);
}

std::string PrintableText(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '?';
  }
  return out;
}

}  // namespace fd
