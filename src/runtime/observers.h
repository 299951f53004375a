#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "runtime/subscription.h"

namespace corvane::runtime {

// A list of typed observers: notify() calls each one added, in the order they were added, before
// it returns. Observers may add or remove observers while being notified. Used on one thread
// (the main actor).
template <class... Args>
class Observers {
 public:
  using Observer = std::function<void(Args...)>;

  Observers() : state_(std::make_shared<State>()) {}
  Observers(const Observers&) = delete;
  Observers& operator=(const Observers&) = delete;

  Subscription add(Observer observer) {
    auto entry = std::make_shared<Entry>(Entry{std::move(observer)});
    state_->entries.push_back(entry);
    std::weak_ptr<State> weakState = state_;
    return Subscription([weakState, entry] {
      entry->alive = false;
      if (auto state = weakState.lock()) std::erase(state->entries, entry);
    });
  }

  void notify(Args... args) const {
    const auto entries = state_->entries;
    for (const auto& entry : entries) {
      if (entry->alive) entry->observer(args...);
    }
  }

 private:
  struct Entry {
    Observer observer;
    bool alive = true;
  };
  struct State {
    std::vector<std::shared_ptr<Entry>> entries;
  };
  std::shared_ptr<State> state_;
};

}  // namespace corvane::runtime
