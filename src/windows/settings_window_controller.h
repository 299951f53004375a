#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/protected_app.h"
#include "model/settings_section.h"
#include "runtime/subscription.h"

namespace corvane::windows {

// What the settings window reads of the application controller and the actions its controls
// call. The controller implements it; the window calls it on the main actor only. Each
// section's panel adds what it needs here.
class SettingsWindowController {
 public:
  virtual ~SettingsWindowController() = default;

  // Runs `observer` on the turn after anything the window shows changed.
  virtual runtime::Subscription observeChanges(std::function<void()> observer) = 0;

  // The frame: the selected section and the header's pill.
  virtual model::SettingsSection selectedSettingsSection() const = 0;
  virtual void setSelectedSettingsSection(model::SettingsSection section) = 0;
  virtual bool isProtectedShareHealthy() const = 0;
  virtual bool isDemoModeOn() const = 0;

  // Excluded Apps. Each action saves the list and applies it to a running session.
  virtual const std::vector<model::ProtectedApp>& protectedApps() const = 0;
  // Why some chosen applications were not added; absent when all were.
  virtual const std::optional<std::string>& protectedAppImportError() const = 0;
  virtual void clearProtectedAppImportError() = 0;
  // Lets the user choose desktop entries to add.
  virtual void chooseProtectedApplications() = 0;
  virtual void setProtectedApp(const std::string& id, bool isEnabled) = 0;
  virtual void removeProtectedApp(const std::string& id) = 0;
  // The built-in list replaces every entry, custom ones included.
  virtual void restoreDefaultProtectedApps() = 0;
};

}  // namespace corvane::windows
