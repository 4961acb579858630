#include "TerminationSignals.h"

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vigil {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int gWriteEnd = -1;  // the handler's end of the self-pipe
struct sigaction gPrevious[std::size(kSignals)];

void OnSignal(int signo) {
  const unsigned char byte = static_cast<unsigned char>(signo);
  // Only an async-signal-safe write here; a full pipe just drops the repeat.
  [[maybe_unused]] ssize_t n = ::write(gWriteEnd, &byte, 1);
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) != 0) return;
  gWriteEnd = fds[1];
  notifier_ = std::make_unique<QSocketNotifier>(fds[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this, fd = fds[0]] {
    unsigned char byte = 0;
    while (::read(fd, &byte, 1) == 1) emit Requested(byte);
  });
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &sa, &gPrevious[i]);
}

TerminationSignals::~TerminationSignals() {
  if (!notifier_) return;
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &gPrevious[i], nullptr);
  const int readEnd = static_cast<int>(notifier_->socket());
  notifier_.reset();
  ::close(readEnd);
  ::close(std::exchange(gWriteEnd, -1));
}

}  // namespace vigil
