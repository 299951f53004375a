#include "runtime/notification_center.h"

#include <algorithm>

namespace corvane::runtime {

NotificationCenter::NotificationCenter() : state_(std::make_shared<State>()) {}

Subscription NotificationCenter::addObserver(std::string name, Observer observer) {
  auto entry = std::make_shared<Entry>(Entry{std::move(name), std::move(observer)});
  state_->entries.push_back(entry);
  std::weak_ptr<State> weakState = state_;
  return Subscription([weakState, entry] {
    entry->alive = false;
    if (auto state = weakState.lock()) std::erase(state->entries, entry);
  });
}

void NotificationCenter::post(const Notification& notification) {
  std::vector<std::shared_ptr<Entry>> matching;
  for (const auto& entry : state_->entries) {
    if (entry->name == notification.name) matching.push_back(entry);
  }
  for (const auto& entry : matching) {
    if (entry->alive) entry->observer(notification);
  }
}

void NotificationCenter::post(std::string name, std::map<std::string, std::string> userInfo) {
  post(Notification{std::move(name), std::move(userInfo), {}});
}

}  // namespace corvane::runtime
