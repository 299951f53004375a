#pragma once

#include <cstddef>
#include <deque>
#include <filesystem>
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

  // Each open panel takes the next scripted choice (nothing: cancelled); with none left it is
  // cancelled.
  void chooseNext(std::optional<std::vector<std::filesystem::path>> files) {
    choices_.push_back(std::move(files));
  }

  std::optional<std::vector<std::filesystem::path>> runOpenPanel(const OpenPanel& panel) override {
    shownPanels_.push_back(panel);
    if (choices_.empty()) return std::nullopt;
    auto choice = std::move(choices_.front());
    choices_.pop_front();
    return choice;
  }

  const std::vector<OpenPanel>& shownPanels() const { return shownPanels_; }

 private:
  std::deque<std::optional<std::size_t>> answers_;
  std::vector<Alert> shown_;
  std::deque<std::optional<std::vector<std::filesystem::path>>> choices_;
  std::vector<OpenPanel> shownPanels_;
};

}  // namespace corvane::platform::sim
