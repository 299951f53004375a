#pragma once

#include "platform/dialogs.h"

namespace corvane::ui {

// Alerts as Qt message boxes, run modally on the main thread.
class QtDialogs final : public platform::Dialogs {
 public:
  std::optional<std::size_t> runModalAlert(const platform::Alert& alert) override;
};

}  // namespace corvane::ui
