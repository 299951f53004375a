#include "ui/qt_main_executor.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>
#include <cmath>
#include <memory>
#include "runtime/timer_delay.h"

namespace corvane::ui {

QtMainExecutor::QtMainExecutor() : context_(new QObject()) {
  if (auto* app = QCoreApplication::instance()) context_->moveToThread(app->thread());
}

QtMainExecutor::~QtMainExecutor() {
  delete context_.data();
}

void QtMainExecutor::post(runtime::Job job) {
  QObject* context = context_.data();
  if (context == nullptr) return;
  // Qt's functor form of invokeMethod needs a copyable callable.
  auto shared = std::make_shared<runtime::Job>(std::move(job));
  QMetaObject::invokeMethod(
      context, [shared] { (*shared)(); }, Qt::QueuedConnection);
}

void QtMainExecutor::postAfter(double delaySeconds, runtime::Job job) {
  QObject* context = context_.data();
  if (context == nullptr) return;
  const int milliseconds = runtime::timerMilliseconds(delaySeconds);
  auto shared = std::make_shared<runtime::Job>(std::move(job));
  // A timer must be started on the thread that owns its context: hop there first when needed.
  auto start = [context, milliseconds, shared] {
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, context, [shared] { (*shared)(); });
  };
  if (QThread::currentThread() == context->thread()) {
    start();
  } else {
    QMetaObject::invokeMethod(context, start, Qt::QueuedConnection);
  }
}

bool QtMainExecutor::isCurrent() const {
  QObject* context = context_.data();
  return context != nullptr && QThread::currentThread() == context->thread();
}

void runQueuedCallsFor(int milliseconds) {
  const QDeadlineTimer deadline(milliseconds);
  do {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    QThread::msleep(1);  // calls posted from other threads meanwhile
  } while (!deadline.hasExpired());
}

}  // namespace corvane::ui
