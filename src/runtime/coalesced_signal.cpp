#include "runtime/coalesced_signal.h"

#include "runtime/main_actor.h"

namespace corvane::runtime {

CoalescedSignal::CoalescedSignal() : state_(std::make_shared<State>()) {}

Subscription CoalescedSignal::observe(Observer observer) {
  return state_->observers.add(std::move(observer));
}

void CoalescedSignal::notify() {
  assertMainActor();
  if (state_->scheduled) return;
  state_->scheduled = true;
  postToMain(std::weak_ptr<State>(state_), [](State& state) {
    state.scheduled = false;
    ++state.deliveries;
    state.observers.notify();
  });
}

std::uint64_t CoalescedSignal::deliveryCount() const {
  return state_->deliveries;
}

}  // namespace corvane::runtime
