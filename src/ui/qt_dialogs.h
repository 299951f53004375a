#pragma once

#include "platform/dialogs.h"

namespace corvane::ui {

// Alerts as Qt message boxes and the open panel as a Qt file chooser (after the list of
// applications when it offers some), run modally on the main thread.
class QtDialogs final : public platform::Dialogs {
 public:
  std::optional<std::size_t> runModalAlert(const platform::Alert& alert) override;
  std::optional<std::vector<std::filesystem::path>> runOpenPanel(
      const platform::OpenPanel& panel) override;
};

}  // namespace corvane::ui
