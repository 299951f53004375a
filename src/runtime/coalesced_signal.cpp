#include "runtime/coalesced_signal.h"

#include <algorithm>

#include "runtime/main_actor.h"

namespace corvane::runtime {

CoalescedSignal::CoalescedSignal() : state_(std::make_shared<State>()) {}

Subscription CoalescedSignal::observe(Observer observer) {
  auto entry = std::make_shared<Entry>(Entry{std::move(observer)});
  state_->entries.push_back(entry);
  std::weak_ptr<State> weakState = state_;
  return Subscription([weakState, entry] {
    entry->alive = false;
    if (auto state = weakState.lock()) std::erase(state->entries, entry);
  });
}

void CoalescedSignal::notify() {
  assertMainActor();
  if (state_->scheduled) return;
  state_->scheduled = true;
  runtime::postToMain(std::weak_ptr<State>(state_), [](State& state) {
    state.scheduled = false;
    ++state.deliveries;
    const auto entries = state.entries;
    for (const auto& entry : entries) {
      if (entry->alive) entry->observer();
    }
  });
}

std::uint64_t CoalescedSignal::deliveryCount() const {
  return state_->deliveries;
}

}  // namespace corvane::runtime
