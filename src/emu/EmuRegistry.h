#ifndef FLASHDOCK_EMU_REGISTRY_H
#define FLASHDOCK_EMU_REGISTRY_H
/* Where the programmer emulator announces its pseudo-terminals: one socket per terminal in
 * a folder of the user's, named after the terminal's number. The preload library reaches a
 * terminal's programmer through it; a terminal without a live socket there is none of ours.
 *
 * The side channel is a stream of request lines, each answered by one line:
 *   "HELLO"              -> "OK"      (bytes written are counted from here on)
 *   "GET <written>"      -> "<lines>" the modem lines as TIOCM bits, once <written> bytes
 *   "SET <written> <m>"  -> "<lines>" of the host's have reached the programmer
 *   "BIS <written> <m>"  -> "<lines>"
 *   "BIC <written> <m>"  -> "<lines>"
 *   "STR <selector>"     -> "=<text>" the USB descriptor string 3, 4 or 1
 *   anything else        -> "ERR"
 * Plain C: the preload library is C, the emulator C++. */
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

/* $FLASHDOCK_EMU_DIR when set, else /tmp/flashdock-emu-<uid>. Returns the length. */
static inline int FlashdockEmuDir(char* out, size_t size) {
  const char* dir = getenv("FLASHDOCK_EMU_DIR");
  if (dir != NULL && *dir != '\0') return snprintf(out, size, "%s", dir);
  return snprintf(out, size, "/tmp/flashdock-emu-%lu", (unsigned long)getuid());
}

static inline int FlashdockEmuSocket(char* out, size_t size, unsigned ptyNumber) {
  char dir[256];
  FlashdockEmuDir(dir, sizeof dir);
  return snprintf(out, size, "%s/pts-%u.sock", dir, ptyNumber);
}

#endif
