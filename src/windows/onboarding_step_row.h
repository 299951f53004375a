#pragma once

#include <string>

#include "model/health_item.h"

namespace corvane::windows {

// The steps of the setup checklist, each one row.
enum class OnboardingStep { screenRecording, excludedApps };

// One checklist row: its health mark's state, texts and the title of its one button.
struct OnboardingStepRowModel {
  OnboardingStep step = OnboardingStep::screenRecording;
  std::string title;
  std::string detail;
  model::HealthState state = model::HealthState::inactive;
  std::string actionTitle;

  // The button waits while the title says work is under way ("Scanning", "Preparing").
  bool isActionEnabled() const { return actionTitle != "Scanning" && actionTitle != "Preparing"; }
  bool operator==(const OnboardingStepRowModel&) const = default;
};

}  // namespace corvane::windows
