#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace corvane::wiring {

// SIGTERM, SIGINT and SIGHUP end the application through its event loop: the handler only
// writes the signal's number into a pipe, and the main thread, woken by the pipe, calls
// `onSignal` there. One per process; the default handlers come back when it goes.
class QuitSignals {
 public:
  explicit QuitSignals(std::function<void(int signal)> onSignal);
  ~QuitSignals();
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

  bool installed() const { return notifier_ != nullptr; }

 private:
  std::function<void(int)> onSignal_;
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace corvane::wiring
