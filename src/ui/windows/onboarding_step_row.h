#pragma once

#include <functional>

#include "ui/rounded_panel.h"
#include "windows/onboarding_step_row.h"

class QLabel;
class QPushButton;

namespace corvane::ui {

// One step of the setup checklist on a card: its health mark, title and detail, and one plain
// button that runs the step's action.
class OnboardingStepRow final : public RoundedPanel {
  Q_OBJECT
 public:
  explicit OnboardingStepRow(std::function<void()> action, QWidget* parent = nullptr);

  void set(const windows::OnboardingStepRowModel& row);

  QLabel* titleLabel() const { return title_; }
  QLabel* detailLabel() const { return detail_; }
  QLabel* markLabel() const { return mark_; }
  QPushButton* actionButton() const { return button_; }

 private:
  std::function<void()> action_;
  QLabel* mark_;
  QLabel* title_;
  QLabel* detail_;
  QPushButton* button_;
};

}  // namespace corvane::ui
