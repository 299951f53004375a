#include "windows/health_mark.h"

namespace corvane::windows {

HealthMark healthMark(model::HealthState state) {
  using model::StatusColor;
  switch (state) {
    case model::HealthState::pass:
      return {"checkmark.circle.fill", StatusColor::privacyGreen};
    case model::HealthState::inactive:
      return {"minus.circle.fill", StatusColor::secondary};
    case model::HealthState::warn:
      return {"exclamationmark.triangle.fill", StatusColor::warningAmber};
    case model::HealthState::fail:
      return {"xmark.circle.fill", StatusColor::criticalRed};
  }
  return {"minus.circle.fill", StatusColor::secondary};
}

}  // namespace corvane::windows
