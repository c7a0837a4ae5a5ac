#pragma once
// The images the benchmarks load: a counting pattern as S2 records of 32 bytes, with a
// header line and an S9 end, as a production image comes.
#include <cstdint>
#include <fstream>
#include <string>

namespace fd::bench {

inline std::string Hex2(unsigned value) {
  static const char* digits = "0123456789ABCDEF";
  return {digits[(value >> 4) & 0xF], digits[value & 0xF]};
}

inline void WriteCountingImage(const std::string& path, std::uint32_t base, std::uint32_t bytes) {
  std::ofstream out(path, std::ios::binary);
  out << "S00600004844521B\r\n";
  for (std::uint32_t at = 0; at < bytes; at += 32) {
    const std::uint32_t address = base + at;
    unsigned sum = 32 + 4 + (address >> 16) + ((address >> 8) & 0xFF) + (address & 0xFF);
    std::string line = "S2" + Hex2(36) + Hex2(address >> 16) + Hex2(address >> 8) + Hex2(address);
    for (std::uint32_t i = 0; i < 32; ++i) {
      const unsigned byte = (at + i) * 7 & 0xFF;
      sum += byte;
      line += Hex2(byte);
    }
    out << line << Hex2(~sum & 0xFF) << "\r\n";
  }
  out << "S9030000FC\r\n";
}

}  // namespace fd::bench
