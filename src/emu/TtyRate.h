#pragma once
// The rate and framing a host set on a pseudo-terminal, read from its master side with
// TCGETS2, so rates that are no standard Bxxx value (25,000 baud) are seen as set.
#include <cstdint>

namespace fd::emu {

struct TtyLink {
  std::uint32_t baud = 0;
  bool eightN1 = false;  // 8 data bits, no parity, 1 stop bit
};

// False when the terminal cannot be asked (it hung up).
bool ReadTtyLink(int fd, TtyLink& link);

}  // namespace fd::emu
