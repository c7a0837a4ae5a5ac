#include "emu/Emulator.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>

#include "app/Startup.h"
#include "emu/EmuRegistry.h"
#include "emu/TtyRate.h"

namespace fd::emu {

namespace {

using Steady = std::chrono::steady_clock;

// How long a line request waits for the bytes written before it: longer than any host
// time-out, so only a host that lies about its count is ever answered early.
constexpr auto kCatchUp = std::chrono::milliseconds(2000);

int PtyNumberOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  const unsigned maj = major(st.st_rdev);
  if (maj < 136 || maj > 143) return -1;
  return static_cast<int>((maj - 136) * 256 + minor(st.st_rdev));
}

}  // namespace

struct Emulator::Lane {
  SimBench* bench = nullptr;
  std::atomic<bool>* stopping = nullptr;
  std::uint32_t device = 0;
  BridgeHandle handle = kNoHandle;
  int master = -1, slave = -1, listener = -1;
  std::string path, socketPath;
  std::thread thread;

  struct Client {
    int fd = -1;
    std::uint64_t base = 0;  // bytes consumed when it said hello
    std::string input;
  };
  std::vector<Client> clients;
  std::uint64_t consumed = 0;
  std::vector<std::uint8_t> pending;  // from the programmer, not yet taken by the terminal
  bool dtr = false, rts = false;
  TtyLink link{};

  ~Lane() {
    for (Client& c : clients) ::close(c.fd);
    if (listener >= 0) ::close(listener);
    if (!socketPath.empty()) ::unlink(socketPath.c_str());
    if (slave >= 0) ::close(slave);
    if (master >= 0) ::close(master);
  }

  // The host's rate and framing, as it set them before writing.
  void syncLink() {
    TtyLink now;
    if (!ReadTtyLink(master, now)) return;
    if (now.baud != link.baud) bench->BridgeSetBaudRate(handle, now.baud);
    if (now.eightN1 != link.eightN1 || link.baud == 0) {
      bench->BridgeSetLineControl(handle, now.eightN1 ? kLineControl8N1 : 0);
    }
    link = now;
  }

  // Host bytes waiting in the terminal go to the programmer; true when some did.
  bool pumpIn() {
    std::uint8_t buffer[512];
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) return false;
    syncLink();
    std::uint32_t written = 0;
    bench->BridgeWrite(handle, buffer, static_cast<std::uint32_t>(n), written);
    consumed += static_cast<std::uint64_t>(n);
    return true;
  }

  // The programmer's bytes go to the terminal as the terminal takes them.
  void pumpOut() {
    std::uint32_t queued = 0, status = 0;
    if (bench->BridgeCheckRxQueue(handle, queued, status) == kBridgeOk && queued > 0) {
      std::vector<std::uint8_t> bytes(queued);
      std::uint32_t got = 0;
      bench->BridgeRead(handle, bytes.data(), queued, got);
      pending.insert(pending.end(), bytes.begin(), bytes.begin() + got);
    }
    while (!pending.empty()) {
      const ssize_t n = ::write(master, pending.data(), pending.size());
      if (n <= 0) break;
      pending.erase(pending.begin(), pending.begin() + n);
    }
  }

  void catchUp(const Client& client, std::uint64_t written) {
    const auto deadline = Steady::now() + kCatchUp;
    while (consumed - client.base < written && Steady::now() < deadline && !*stopping) {
      if (pumpIn()) continue;
      pollfd p{master, POLLIN, 0};
      ::poll(&p, 1, 2);
    }
  }

  int lineBits() {
    std::uint8_t status = 0;
    bench->BridgeGetModemStatus(handle, status);
    int bits = 0;
    if (status & kResultBit) bits |= TIOCM_CTS;
    if (status & kBusyBit) bits |= TIOCM_DSR;
    if (status & 0x40) bits |= TIOCM_RI;
    if (status & 0x80) bits |= TIOCM_CD;
    if (dtr) bits |= TIOCM_DTR;
    if (rts) bits |= TIOCM_RTS;
    return bits;
  }

  void applyLines() {
    // DTR is the reset line, RTS the error request; the reset wins while both are held.
    const FlowPattern pattern = dtr ? kResetLine : rts ? kErrorRequestLine : kLinesReleased;
    bench->BridgeSetFlowControl(handle, pattern);
  }

  std::string answer(Client& client, const std::string& line) {
    char verb[8] = {};
    unsigned long long written = 0;
    int mask = 0;
    if (line == "HELLO") {
      client.base = consumed;
      return "OK";
    }
    if (std::sscanf(line.c_str(), "STR %d", &mask) == 1 && line.rfind("STR ", 0) == 0) {
      std::string text;
      if (bench->BridgeGetProductString(device, text, static_cast<std::uint8_t>(mask)) != kBridgeOk) return "ERR";
      return "=" + text;
    }
    const int fields = std::sscanf(line.c_str(), "%7s %llu %d", verb, &written, &mask);
    const std::string v = verb;
    if (fields < 2 || (v != "GET" && fields < 3)) return "ERR";
    catchUp(client, written);
    if (v == "SET" || v == "BIS" || v == "BIC") {
      const bool setDtr = (mask & TIOCM_DTR) != 0, setRts = (mask & TIOCM_RTS) != 0;
      if (v == "SET") {
        dtr = setDtr;
        rts = setRts;
      } else if (v == "BIS") {
        dtr = dtr || setDtr;
        rts = rts || setRts;
      } else {
        dtr = dtr && !setDtr;
        rts = rts && !setRts;
      }
      applyLines();
    } else if (v != "GET") {
      return "ERR";
    }
    return std::to_string(lineBits());
  }

  void serveClients() {
    for (std::size_t i = 0; i < clients.size();) {
      Client& c = clients[i];
      char buffer[256];
      const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        ::close(c.fd);
        clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i));
        continue;
      }
      if (n > 0) c.input.append(buffer, static_cast<std::size_t>(n));
      std::size_t end;
      while ((end = c.input.find('\n')) != std::string::npos) {
        const std::string line = c.input.substr(0, end);
        c.input.erase(0, end + 1);
        const std::string reply = answer(c, line) + "\n";
        ::send(c.fd, reply.data(), reply.size(), MSG_NOSIGNAL);
      }
      ++i;
    }
  }

  void run() {
    while (!*stopping) {
      std::vector<pollfd> fds;
      fds.push_back({master, static_cast<short>(POLLIN | (pending.empty() ? 0 : POLLOUT)), 0});
      fds.push_back({listener, POLLIN, 0});
      for (const Client& c : clients) fds.push_back({c.fd, POLLIN, 0});
      ::poll(fds.data(), fds.size(), 1);
      while (pumpIn()) {
      }
      if (fds[1].revents & POLLIN) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) clients.push_back({fd, consumed, {}});
      }
      serveClients();
      pumpOut();
    }
  }
};

Emulator::Emulator(SimBench& bench, std::string registryDir) : bench_(bench), registryDir_(std::move(registryDir)) {}

Emulator::~Emulator() { stop(); }

bool Emulator::start(std::string& error) {
  std::error_code ec;
  std::filesystem::create_directories(registryDir_, ec);
  ::chmod(registryDir_.c_str(), 0700);
  std::uint32_t count = 0;
  bench_.BridgeGetNumDevices(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    auto lane = std::make_unique<Lane>();
    lane->bench = &bench_;
    lane->stopping = &stopping_;
    lane->device = i;
    if (bench_.BridgeOpen(i, lane->handle) != kBridgeOk) {
      error = "Can not open programmer " + std::to_string(i + 1) + " of the bench.";
      return false;
    }
    bench_.BridgeSetTimeouts(kBridgeTimeoutMs, kBridgeTimeoutMs);
    lane->master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[64] = {};
    if (lane->master < 0 || ::grantpt(lane->master) != 0 || ::unlockpt(lane->master) != 0 ||
        ::ptsname_r(lane->master, name, sizeof name) != 0) {
      error = std::string("Can not make a pseudo-terminal: ") + std::strerror(errno) + ".";
      return false;
    }
    lane->path = name;
    // A slave kept open: without one, reading the master fails between the host's opens.
    lane->slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw {};
    if (lane->slave < 0 || ::tcgetattr(lane->slave, &raw) != 0) {
      error = "Can not open the pseudo-terminal " + lane->path + ".";
      return false;
    }
    ::cfmakeraw(&raw);
    ::tcsetattr(lane->slave, TCSANOW, &raw);
    ::fcntl(lane->master, F_SETFL, ::fcntl(lane->master, F_GETFL) | O_NONBLOCK);

    const int number = PtyNumberOf(lane->path);
    char socketPath[sizeof(sockaddr_un::sun_path)];
    {
      const std::string p = registryDir_ + "/pts-" + std::to_string(number) + ".sock";
      if (number < 0 || p.size() >= sizeof socketPath) {
        error = "The emulator's folder " + registryDir_ + " has too long a path for its sockets.";
        return false;
      }
      std::memcpy(socketPath, p.c_str(), p.size() + 1);
    }
    ::unlink(socketPath);  // left by an emulator that was killed: that terminal was its
    lane->listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath, std::strlen(socketPath) + 1);
    if (lane->listener < 0 || ::bind(lane->listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(lane->listener, 8) != 0) {
      error = std::string("Can not make the socket ") + socketPath + ": " + std::strerror(errno) + ".";
      return false;
    }
    lane->socketPath = socketPath;
    lanes_.push_back(std::move(lane));
  }
  for (auto& lane : lanes_) lane->thread = std::thread([l = lane.get()] { l->run(); });
  return true;
}

std::vector<std::string> Emulator::paths() const {
  std::vector<std::string> paths;
  for (const auto& lane : lanes_) paths.push_back(lane->path);
  return paths;
}

void Emulator::stop() {
  stopping_ = true;
  for (auto& lane : lanes_) {
    if (lane->thread.joinable()) lane->thread.join();
  }
  for (auto& lane : lanes_) {
    if (lane->handle != kNoHandle) bench_.BridgeClose(lane->handle);
  }
  lanes_.clear();
}

std::string ShimLibraryPath() {
  const std::string dir = ExecutableDir(nullptr);
  for (const std::string& candidate : {dir + "libflashdock-emu.so", dir + "../lib/flashdock/libflashdock-emu.so"}) {
    std::error_code ec;
    const auto real = std::filesystem::canonical(candidate, ec);
    if (!ec) return real.string();
  }
  return "";
}

}  // namespace fd::emu
