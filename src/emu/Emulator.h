#pragma once
// The programmer emulator: every attached programmer of a simulated bench served on its own
// pseudo-terminal, so the real serial path (libserialport, the kernel's tty layer) runs
// without hardware. A pseudo-terminal carries the bytes and the host's termios (rate and
// framing, read back with TCGETS2, so the boot loader answers only at 25,000 baud); it has
// no modem lines, so those travel over a socket per terminal in the registry folder, to the
// preload library in the host (src/emu/shim).
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/SimBench.h"

namespace fd::emu {

class Emulator {
public:
  // Serves `bench` (which must outlive it); the sockets go to `registryDir`.
  Emulator(SimBench& bench, std::string registryDir);
  ~Emulator();
  Emulator(const Emulator&) = delete;
  Emulator& operator=(const Emulator&) = delete;

  // Makes one pseudo-terminal per attached programmer, in device order, and starts serving
  // them. False with a sentence in `error` when a terminal or socket cannot be made.
  bool start(std::string& error);
  // The terminals' paths ("/dev/pts/N"), in device order.
  std::vector<std::string> paths() const;
  // Stops serving and removes the sockets; the bench is left as the programmers left it.
  void stop();

private:
  struct Lane;
  SimBench& bench_;
  std::string registryDir_;
  std::vector<std::unique_ptr<Lane>> lanes_;
  std::atomic<bool> stopping_{false};
};

// The preload library beside the running program (or where it is installed); "" when
// there is none.
std::string ShimLibraryPath();

}  // namespace fd::emu
