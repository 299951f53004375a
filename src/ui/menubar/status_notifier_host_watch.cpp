#include "ui/menubar/status_notifier_host_watch.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace corvane::ui {
namespace {

constexpr const char* kWatcherPath = "/StatusNotifierWatcher";

}  // namespace

StatusNotifierHostWatch::StatusNotifierHostWatch()
    : bus_(QDBusConnection::sessionBus()),
      watcher_(QString::fromLatin1(kWatcherService), bus_,
               QDBusServiceWatcher::WatchForOwnerChange) {
  if (!bus_.isConnected()) return;
  const QString service = QString::fromLatin1(kWatcherService);
  for (const char* change : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"}) {
    bus_.connect(service, QString::fromLatin1(kWatcherPath), service, QString::fromLatin1(change),
                 this, SLOT(hostsChanged()));
  }
  QObject::connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
                   [this](const QString&, const QString&, const QString& newOwner) {
                     hostRegistered_ = !newOwner.isEmpty();
                     askWatcher();
                   });
  // The bus answers this itself; it never calls back.
  const auto owned = bus_.interface()->isServiceRegistered(service);
  hostRegistered_ = owned.isValid() && owned.value();
  if (hostRegistered_) askWatcher();
}

void StatusNotifierHostWatch::hostsChanged() {
  askWatcher();
}

void StatusNotifierHostWatch::askWatcher() {
  const int question = ++question_;
  if (!hostRegistered_) return;
  const QString service = QString::fromLatin1(kWatcherService);
  QDBusMessage get = QDBusMessage::createMethodCall(
      service, QString::fromLatin1(kWatcherPath), QStringLiteral("org.freedesktop.DBus.Properties"),
      QStringLiteral("Get"));
  get << service << QStringLiteral("IsStatusNotifierHostRegistered");
  auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(get), this);
  QObject::connect(pending, &QDBusPendingCallWatcher::finished, this,
                   [this, question](QDBusPendingCallWatcher* call) {
                     call->deleteLater();
                     const QDBusPendingReply<QDBusVariant> reply = *call;
                     if (question != question_ || reply.isError()) return;
                     hostRegistered_ = reply.value().variant().toBool();
                   });
}

}  // namespace corvane::ui
