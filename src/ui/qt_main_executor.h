#pragma once

#include <QObject>
#include <QPointer>

#include "runtime/executor.h"

namespace corvane::ui {

// The app's main actor, driven by Qt's event loop: post is a queued call on the Qt main thread,
// timers are QTimer single shots there, uptime is the monotonic clock and now the system clock.
// Construct it on the Qt main thread after the QApplication.
class QtMainExecutor final : public runtime::MainExecutor {
 public:
  QtMainExecutor();
  ~QtMainExecutor() override;
  QtMainExecutor(const QtMainExecutor&) = delete;
  QtMainExecutor& operator=(const QtMainExecutor&) = delete;

  void post(runtime::Job job) override;
  void postAfter(double delaySeconds, runtime::Job job) override;
  bool isCurrent() const override;
  runtime::Uptime uptime() const override { return clock_.uptime(); }
  runtime::WallTime now() const override { return clock_.now(); }

 private:
  runtime::SystemClock clock_;
  // Lives on the main thread; queued calls and timers are attached to it, so they stop when the
  // executor goes away.
  QPointer<QObject> context_;
};

// Runs the queued calls on this thread (the main actor's posted jobs and queued signals), those
// posted meanwhile too, for `milliseconds` and no longer; no other event is handled. At
// termination this lets cancelled tasks take their last turns while a window's pending layout or
// paint, which can take minutes for a huge one, is left undone.
void runQueuedCallsFor(int milliseconds);

}  // namespace corvane::ui
