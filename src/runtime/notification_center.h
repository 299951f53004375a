#pragma once

#include <any>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "runtime/observers.h"
#include "runtime/subscription.h"

namespace corvane::runtime {

struct Notification {
  std::string name;
  std::map<std::string, std::string> userInfo;
  std::any object;  // an optional typed payload, such as the application a workspace event is about
};

// Synchronous notifications: post() runs every observer of the name before it returns, in the
// order they were added. Observers may add or remove observers while being notified.
class NotificationCenter {
 public:
  using Observer = std::function<void(const Notification&)>;

  Subscription addObserver(std::string name, Observer observer);
  void post(const Notification& notification);
  void post(std::string name, std::map<std::string, std::string> userInfo = {});

 private:
  Observers<const Notification&> observers_;
};

}  // namespace corvane::runtime
