#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/menu_bar_access_state.h"
#include "model/protected_app.h"
#include "model/settings_section.h"
#include "model/settings_store_problem.h"
#include "runtime/subscription.h"
#include "runtime/task.h"

namespace corvane::windows {

// Where a copy of the product under its former name is installed and whether one runs.
struct PreviousCopyStatus {
  std::optional<std::filesystem::path> location;
  bool isRunning = false;
  std::vector<std::string> runningProcesses;  // what "Quit Previous Copy" ends

  bool needsAttention() const { return location.has_value() || isRunning; }
  bool operator==(const PreviousCopyStatus&) const = default;
};

// What the setup window reads of the application controller and the actions its buttons call.
// The controller implements it; the window calls it on the main actor only.
class SetupWindowController {
 public:
  virtual ~SetupWindowController() = default;

  // Runs `observer` on the turn after anything the window shows changed.
  virtual runtime::Subscription observeChanges(std::function<void()> observer) = 0;

  virtual bool isStartupInitializationComplete() const = 0;
  virtual bool screenRecordingPermissionGranted() const = 0;
  virtual PreviousCopyStatus previousCopyStatus() const = 0;
  virtual bool isQuittingLegacyApp() const = 0;
  virtual const std::optional<std::string>& legacyAppQuitError() const = 0;
  virtual bool isInitialSetupComplete() const = 0;
  virtual bool isDemoModeOn() const = 0;
  virtual bool isScanning() const = 0;
  virtual bool isProtectedShareStopping() const = 0;
  virtual bool isProtectedShareHealthy() const = 0;
  virtual bool isProtectedSharePreparing() const = 0;
  virtual model::MenuBarAccessState menuBarAccessState() const = 0;
  virtual const std::vector<model::ProtectedApp>& protectedApps() const = 0;
  // Settings that were reset this run because their file could not be read.
  virtual const std::optional<model::SettingsStoreProblem>& settingsReset() const = 0;
  // Whether an excluded id names an installed application; one that does not is not protected.
  virtual bool isInstalledApplication(const std::string& id) const = 0;

  // The section the settings window opens on.
  virtual void setSelectedSettingsSection(model::SettingsSection section) = 0;
  virtual void refreshLegacyAppMigrationStatus(bool presentReviewIfNeeded) = 0;
  // Asks for the screen-capture permission (says why when it cannot be had).
  virtual void requestScreenRecordingPermission() = 0;
  // Opens the desktop's own settings for screen sharing; where there are none, what to do
  // instead, to be shown where the button is.
  virtual std::optional<std::string> openScreenRecordingSettings() = 0;
  // False (and nothing changed) while a former copy runs.
  virtual bool completeInitialSetup() = 0;
  virtual void openProtectedShareWindow() = 0;
  virtual void toggleDemoMode() = 0;
  virtual void retryProtectedShare() = 0;
  virtual runtime::Task<void> quitPreviousCopy() = 0;
  // Shows the file selected in the file manager.
  virtual void revealInFileManager(const std::filesystem::path& path) = 0;
};

}  // namespace corvane::windows
