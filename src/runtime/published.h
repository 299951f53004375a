#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "runtime/main_actor.h"
#include "runtime/subscription.h"

namespace corvane::runtime {

// An observable value owned by one object on the main actor; set() asserts it runs there.
//
// Every set() is a change announcement. At-once observers run inside it, before the new value is
// stored, so reading the owner's value from them still gives the old one; next-turn observers are
// queued on the main actor and run after it is stored, with the value that was set.
template <class T>
class Published {
 public:
  using Observer = std::function<void(const T& newValue)>;

  explicit Published(T initial = T{})
      : value_(std::move(initial)), state_(std::make_shared<State>()) {}
  Published(const Published&) = delete;
  Published& operator=(const Published&) = delete;

  const T& value() const { return value_; }
  const T& operator*() const { return value_; }
  const T* operator->() const { return &value_; }

  void set(T newValue) {
    assertMainActor();
    for (const auto& entry : snapshot(atOnce)) {
      if (entry->alive) entry->observer(newValue);
    }
    value_ = std::move(newValue);
    for (const auto& entry : snapshot(nextTurn)) {
      mainExecutor().post([entry, value = value_] {
        if (entry->alive) entry->observer(value);
      });
    }
  }

  // Announces only when the value differs.
  void setIfChanged(T newValue) {
    if (!(value_ == newValue)) set(std::move(newValue));
  }

  Subscription observeAtOnce(Observer observer) { return add(atOnce, std::move(observer)); }
  Subscription observeNextTurn(Observer observer) { return add(nextTurn, std::move(observer)); }

 private:
  enum Kind { atOnce, nextTurn };
  struct Entry {
    Kind kind;
    Observer observer;
    bool alive = true;
  };
  struct State {
    std::vector<std::shared_ptr<Entry>> entries;
  };

  std::vector<std::shared_ptr<Entry>> snapshot(Kind kind) const {
    std::vector<std::shared_ptr<Entry>> result;
    for (const auto& entry : state_->entries) {
      if (entry->kind == kind) result.push_back(entry);
    }
    return result;
  }

  Subscription add(Kind kind, Observer observer) {
    auto entry = std::make_shared<Entry>(Entry{kind, std::move(observer)});
    state_->entries.push_back(entry);
    std::weak_ptr<State> weakState = state_;
    return Subscription([weakState, entry] {
      entry->alive = false;
      if (auto state = weakState.lock()) std::erase(state->entries, entry);
    });
  }

  T value_;
  std::shared_ptr<State> state_;
};

}  // namespace corvane::runtime
