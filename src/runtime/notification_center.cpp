#include "runtime/notification_center.h"

namespace corvane::runtime {

Subscription NotificationCenter::addObserver(std::string name, Observer observer) {
  return observers_.add(
      [name = std::move(name), observer = std::move(observer)](const Notification& notification) {
        if (notification.name == name) observer(notification);
      });
}

void NotificationCenter::post(const Notification& notification) {
  observers_.notify(notification);
}

void NotificationCenter::post(std::string name, std::map<std::string, std::string> userInfo) {
  post(Notification{std::move(name), std::move(userInfo), {}});
}

}  // namespace corvane::runtime
