#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

#include "platform/dialogs.h"

namespace corvane::platform::sim {

// Dialogs answered from a script: each alert takes the next scripted answer (a button index, or
// nothing for a dismissal) and is kept for the test to read. With the script used up, alerts are
// dismissed.
class SimDialogs final : public Dialogs {
 public:
  void answerNext(std::optional<std::size_t> button) { answers_.push_back(button); }

  std::optional<std::size_t> runModalAlert(const Alert& alert) override {
    shown_.push_back(alert);
    if (answers_.empty()) return std::nullopt;
    const auto answer = answers_.front();
    answers_.pop_front();
    return answer;
  }

  const std::vector<Alert>& shownAlerts() const { return shown_; }

 private:
  std::deque<std::optional<std::size_t>> answers_;
  std::vector<Alert> shown_;
};

}  // namespace corvane::platform::sim
