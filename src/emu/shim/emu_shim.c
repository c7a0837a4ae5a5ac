// The preload library of the programmer emulator. A pseudo-terminal has no modem lines, so
// this library supplies them for the emulator's terminals, and makes libserialport accept
// such a terminal as a port; everything else (termios, rates, time-outs, reads, writes,
// flushes, queue counts) is the real library on the real tty layer, untouched.
//
// - libserialport looks a port up in sysfs (/sys/class/tty/pts/N does not exist): __lxstat
//   and readlink answer for the emulator's terminals as for a native port.
// - ioctl: the TIOCM* requests that fail with ENOTTY on one of the emulator's terminals are
//   answered by the emulator over its socket. Only ENOTTY: a terminal that hung up answers
//   EIO, and that is passed on, so a dead emulator is a dead port.
// - write: the bytes written to such a terminal are counted, and every line request tells
//   the count, so the emulator answers only once the bytes before it reached the programmer
//   (they travel through the tty's buffer work and could be overtaken otherwise).
// The emulator's terminals are those with a live socket in its registry, nothing guessed.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <stdio.h>
#include <stdlib.h>

#include "emu/EmuRegistry.h"

#define kMaxFd 4096
#define kPtyMajorFirst 136u
#define kPtyMajorLast 143u

typedef struct {
  dev_t device;       // 0: nothing known about this fd
  int socket;         // -1: not one of the emulator's terminals
  unsigned long long written;
} Entry;

static Entry gEntries[kMaxFd];
static pthread_mutex_t gMutex = PTHREAD_MUTEX_INITIALIZER;

typedef int (*IoctlFn)(int, unsigned long, ...);
typedef ssize_t (*WriteFn)(int, const void*, size_t);
typedef int (*LxstatFn)(int, const char*, struct stat*);
typedef int (*LstatFn)(const char*, struct stat*);
typedef ssize_t (*ReadlinkFn)(const char*, char*, size_t);

static int PtyNumber(dev_t device, unsigned* number) {
  const unsigned maj = major(device);
  if (maj < kPtyMajorFirst || maj > kPtyMajorLast) return 0;
  *number = (maj - kPtyMajorFirst) * 256 + minor(device);
  return 1;
}

/* Sends a line and reads the answer line; 0 when the emulator is gone. */
static int Ask(int sock, const char* request, char* answer, size_t size) {
  const size_t length = strlen(request);
  size_t sent = 0;
  while (sent < length) {
    const ssize_t n = send(sock, request + sent, length - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;
    sent += (size_t)n;
  }
  size_t got = 0;
  while (got + 1 < size) {
    char c = 0;
    const ssize_t n = recv(sock, &c, 1, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return 0;
    if (c == '\n') {
      answer[got] = '\0';
      return 1;
    }
    answer[got++] = c;
  }
  return 0;
}

/* A connection to the emulator of pseudo-terminal `number`, past its greeting; -1 when it
 * has no live socket in the registry. */
static int Connect(unsigned number) {
  struct sockaddr_un address;
  memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  const int length = FlashdockEmuSocket(address.sun_path, sizeof address.sun_path, number);
  if (length <= 0 || (size_t)length >= sizeof address.sun_path) return -1;
  const int sock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (sock < 0) return -1;
  if (connect(sock, (struct sockaddr*)&address, sizeof address) != 0) {
    close(sock);
    return -1;
  }
  char answer[16];
  if (!Ask(sock, "HELLO\n", answer, sizeof answer) || strcmp(answer, "OK") != 0) {
    close(sock);
    return -1;
  }
  return sock;
}

/* The entry of `fd` when it is one of the emulator's terminals (the mutex held); NULL else. */
static Entry* EntryOf(int fd) {
  if (fd < 0 || fd >= kMaxFd) return NULL;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return NULL;
  unsigned number = 0;
  if (!PtyNumber(st.st_rdev, &number)) return NULL;
  Entry* e = &gEntries[fd];
  if (e->device != st.st_rdev) {
    /* Another file behind this fd number since: start afresh. */
    if (e->device != 0 && e->socket >= 0) close(e->socket);
    e->device = st.st_rdev;
    e->written = 0;
    e->socket = Connect(number);
  }
  return e->socket >= 0 ? e : NULL;
}

/* The path of one of the emulator's terminals in /sys/class/tty ("/sys/class/tty/pts/N"):
 * its number, when the emulator serves it. */
static int SysfsPtyOfEmulator(const char* path, unsigned* number) {
  static const char prefix[] = "/sys/class/tty/pts/";
  if (path == NULL || strncmp(path, prefix, sizeof prefix - 1) != 0) return 0;
  const char* digits = path + sizeof prefix - 1;
  if (*digits < '0' || *digits > '9') return 0;
  char* end = NULL;
  const unsigned long n = strtoul(digits, &end, 10);
  if (*end != '\0') return 0;
  *number = (unsigned)n;
  const int sock = Connect(*number);
  if (sock < 0) return 0;
  close(sock);
  return 1;
}

static void FakeLink(struct stat* st) {
  memset(st, 0, sizeof *st);
  st->st_mode = S_IFLNK | 0777;
  st->st_nlink = 1;
}

static int Answer(Entry* e, unsigned long request, int* bits) {
  char line[64];
  const char* verb = request == TIOCMGET ? "GET" : request == TIOCMSET ? "SET" : request == TIOCMBIS ? "BIS" : "BIC";
  if (request == TIOCMGET) {
    snprintf(line, sizeof line, "%s %llu\n", verb, e->written);
  } else {
    snprintf(line, sizeof line, "%s %llu %d\n", verb, e->written, *bits);
  }
  char answer[32];
  if (!Ask(e->socket, line, answer, sizeof answer)) {
    errno = EIO;
    return -1;
  }
  char* end = NULL;
  const long value = strtol(answer, &end, 10);
  if (*end != '\0' || end == answer) {
    errno = EIO;
    return -1;
  }
  if (request == TIOCMGET) *bits = (int)value;
  return 0;
}

#define EXPORT __attribute__((visibility("default")))

EXPORT int ioctl(int fd, unsigned long request, ...) {
  va_list args;
  va_start(args, request);
  void* arg = va_arg(args, void*);
  va_end(args);
  static IoctlFn real = NULL;
  if (real == NULL) real = (IoctlFn)dlsym(RTLD_NEXT, "ioctl");
  const int result = real(fd, request, arg);
  if (result != -1 || errno != ENOTTY) return result;
  if (request != TIOCMGET && request != TIOCMSET && request != TIOCMBIS && request != TIOCMBIC) return result;
  if (arg == NULL) return result;
  pthread_mutex_lock(&gMutex);
  Entry* e = EntryOf(fd);
  int answered = -1;
  int code = ENOTTY;
  if (e != NULL) {
    answered = Answer(e, request, (int*)arg);
    code = answered == 0 ? 0 : errno;
  }
  pthread_mutex_unlock(&gMutex);
  if (answered != 0) errno = code;
  return answered;
}

EXPORT ssize_t write(int fd, const void* buffer, size_t count) {
  static WriteFn real = NULL;
  if (real == NULL) real = (WriteFn)dlsym(RTLD_NEXT, "write");
  const ssize_t n = real(fd, buffer, count);
  if (n > 0) {
    const int saved = errno;
    pthread_mutex_lock(&gMutex);
    Entry* e = EntryOf(fd);
    if (e != NULL) e->written += (unsigned long long)n;
    pthread_mutex_unlock(&gMutex);
    errno = saved;
  }
  return n;
}

EXPORT int __lxstat(int version, const char* path, struct stat* st) {
  unsigned number = 0;
  if (SysfsPtyOfEmulator(path, &number)) {
    FakeLink(st);
    return 0;
  }
  static LxstatFn real = NULL;
  if (real == NULL) real = (LxstatFn)dlsym(RTLD_NEXT, "__lxstat");
  if (real == NULL) {
    errno = ENOSYS;
    return -1;
  }
  return real(version, path, st);
}

EXPORT int lstat(const char* path, struct stat* st) {
  unsigned number = 0;
  if (SysfsPtyOfEmulator(path, &number)) {
    FakeLink(st);
    return 0;
  }
  static LstatFn real = NULL;
  if (real == NULL) real = (LstatFn)dlsym(RTLD_NEXT, "lstat");
  return real(path, st);
}

EXPORT ssize_t readlink(const char* path, char* buffer, size_t size) {
  unsigned number = 0;
  if (SysfsPtyOfEmulator(path, &number)) {
    /* A native port: no USB or Bluetooth details for libserialport to look for. */
    char target[64];
    const int length = snprintf(target, sizeof target, "../../devices/virtual/tty/pts/%u", number);
    const size_t n = (size_t)length < size ? (size_t)length : size;
    memcpy(buffer, target, n);
    return (ssize_t)n;
  }
  static ReadlinkFn real = NULL;
  if (real == NULL) real = (ReadlinkFn)dlsym(RTLD_NEXT, "readlink");
  return real(path, buffer, size);
}

/* The USB descriptor string `selector` (3, 4, 1) of the programmer behind one of the
 * emulator's terminals ("/dev/pts/N"): its length, or -1 when the terminal is none of the
 * emulator's. The serial bridge looks this function up to tell the emulator's terminals. */
EXPORT int flashdock_emu_product_string(const char* path, int selector, char* out, unsigned size) {
  static const char prefix[] = "/dev/pts/";
  if (path == NULL || strncmp(path, prefix, sizeof prefix - 1) != 0 || size == 0) return -1;
  const char* digits = path + sizeof prefix - 1;
  if (*digits < '0' || *digits > '9') return -1;
  char* end = NULL;
  const unsigned long number = strtoul(digits, &end, 10);
  if (*end != '\0') return -1;
  const int sock = Connect((unsigned)number);
  if (sock < 0) return -1;
  char line[32];
  snprintf(line, sizeof line, "STR %d\n", selector);
  char answer[300];
  const int ok = Ask(sock, line, answer, sizeof answer);
  close(sock);
  if (!ok || answer[0] != '=') return -1;
  size_t length = strlen(answer + 1);
  if (length > size - 1) length = size - 1;
  memcpy(out, answer + 1, length);
  out[length] = '\0';
  return (int)length;
}
