// Kept apart: the kernel's termbits clash with the C library's termios.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "emu/TtyRate.h"

namespace fd::emu {

bool ReadTtyLink(int fd, TtyLink& link) {
  struct termios2 t {};
  if (::ioctl(fd, TCGETS2, &t) != 0) return false;
  link.baud = t.c_ospeed;
  link.eightN1 = (t.c_cflag & CSIZE) == CS8 && (t.c_cflag & PARENB) == 0 && (t.c_cflag & CSTOPB) == 0;
  return true;
}

}  // namespace fd::emu
