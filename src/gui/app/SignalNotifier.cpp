#include "gui/app/SignalNotifier.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>

namespace fd {
namespace {

int gPipe[2] = {-1, -1};
constexpr int kWatched[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction gPrevious[sizeof kWatched / sizeof kWatched[0]];

extern "C" void OnSignal(int signal) {
  const unsigned char byte = static_cast<unsigned char>(signal);
  // Only async-signal-safe calls here; a full pipe just loses a repeat of the same news.
  [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &byte, 1);
}

}  // namespace

SignalNotifier::SignalNotifier(QObject* parent) : QObject(parent) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gPipe) != 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(gPipe[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { drain(); });
  for (std::size_t i = 0; i < std::size(kWatched); ++i) {
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(kWatched[i], &action, &gPrevious[i]);
  }
  // A closed terminal must not kill the program with a run's record unwritten.
  std::signal(SIGPIPE, SIG_IGN);
}

SignalNotifier::~SignalNotifier() {
  if (gPipe[0] < 0) return;
  for (std::size_t i = 0; i < std::size(kWatched); ++i) sigaction(kWatched[i], &gPrevious[i], nullptr);
  notifier_.reset();
  ::close(gPipe[0]);
  ::close(gPipe[1]);
  gPipe[0] = gPipe[1] = -1;
}

void SignalNotifier::drain() {
  unsigned char byte = 0;
  while (::read(gPipe[0], &byte, 1) == 1) {
    if (caught_ == 0) caught_ = byte;
    emit received(byte);
  }
}

}  // namespace fd
