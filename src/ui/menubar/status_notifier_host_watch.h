#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>

namespace corvane::ui {

// Whether a StatusNotifierItem host runs on the session bus (a StatusNotifierWatcher whose
// IsStatusNotifierHostRegistered is true), kept current without the main thread ever waiting for
// the panel that hosts it: such a panel calls back into the items it hosts (lxqt-panel introspects
// each new one and waits for the answer), so a blocking call to it from here could leave both
// waiting on each other until D-Bus gives up.
//
// Only the bus itself is asked and waited for (whether the watcher's name has an owner, when the
// watch starts); the watcher is asked asynchronously, once at the start and again whenever its
// owner or its hosts change. Until it answers, a watcher that is there counts as having a host.
class StatusNotifierHostWatch final : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kWatcherService = "org.kde.StatusNotifierWatcher";

  StatusNotifierHostWatch();
  bool isHostRegistered() const { return hostRegistered_; }

 private slots:
  void hostsChanged();

 private:
  void askWatcher();

  QDBusConnection bus_;
  QDBusServiceWatcher watcher_;
  bool hostRegistered_ = false;
  // Answers of earlier questions that come late are dropped.
  int question_ = 0;
};

}  // namespace corvane::ui
