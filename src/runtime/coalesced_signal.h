#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "runtime/observers.h"
#include "runtime/subscription.h"

namespace corvane::runtime {

// "Something changed": any number of notify() calls within one main-actor turn reach each
// observer once, on the next turn, after every change of that turn is stored. Views observe one
// such signal and re-read what they show. Main actor only.
class CoalescedSignal {
 public:
  using Observer = std::function<void()>;

  CoalescedSignal();
  CoalescedSignal(const CoalescedSignal&) = delete;
  CoalescedSignal& operator=(const CoalescedSignal&) = delete;

  Subscription observe(Observer observer);
  void notify();
  // Deliveries so far (one per turn with changes).
  std::uint64_t deliveryCount() const;

 private:
  struct State {
    Observers<> observers;
    bool scheduled = false;
    std::uint64_t deliveries = 0;
  };
  std::shared_ptr<State> state_;
};

}  // namespace corvane::runtime
