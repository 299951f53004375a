#include "main/quit_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>

namespace corvane::wiring {
namespace {

constexpr std::array<int, 3> kQuitSignals{SIGTERM, SIGINT, SIGHUP};
int pipeEnds[2] = {-1, -1};

void writeSignal(int signal) {
  const int saved = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const auto written = write(pipeEnds[1], &number, 1);
  errno = saved;
}

}  // namespace

QuitSignals::QuitSignals(std::function<void(int signal)> onSignal)
    : onSignal_(std::move(onSignal)) {
  if (pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
    unsigned char number = 0;
    while (read(pipeEnds[0], &number, 1) == 1) {
      if (onSignal_) onSignal_(number);
    }
  });
  struct sigaction action {};
  action.sa_handler = &writeSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : kQuitSignals) sigaction(signal, &action, nullptr);
}

QuitSignals::~QuitSignals() {
  if (!notifier_) return;
  for (int signal : kQuitSignals) std::signal(signal, SIG_DFL);
  notifier_.reset();
  close(pipeEnds[0]);
  close(pipeEnds[1]);
  pipeEnds[0] = pipeEnds[1] = -1;
}

}  // namespace corvane::wiring
