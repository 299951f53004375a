#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/capture_display.h"
#include "model/health_item.h"
#include "model/production_configuration.h"
#include "model/protected_app.h"
#include "model/protected_share_metrics.h"
#include "model/protection_options.h"
#include "model/sensitive_content.h"
#include "model/settings_section.h"
#include "runtime/subscription.h"

namespace corvane::windows {

// What the settings window reads of the application controller and the actions its controls
// call. The controller implements it; the window calls it on the main actor only. Each
// section's panel adds what it needs here.
class SettingsWindowController {
 public:
  virtual ~SettingsWindowController() = default;

  // Runs `observer` on the turn after anything the window shows changed, the live rates aside.
  virtual runtime::Subscription observeChanges(std::function<void()> observer) = 0;

  // The frame: the selected section and the header's pill.
  virtual model::SettingsSection selectedSettingsSection() const = 0;
  virtual void setSelectedSettingsSection(model::SettingsSection section) = 0;
  virtual bool isProtectedShareHealthy() const = 0;
  virtual bool isDemoModeOn() const = 0;
  // Why settings cannot be saved, while they cannot: shown above every section.
  virtual const std::optional<std::string>& settingsSaveError() const = 0;

  // Excluded Apps. Each action saves the list and applies it to a running session.
  virtual const std::vector<model::ProtectedApp>& protectedApps() const = 0;
  // Why some chosen applications were not added; absent when all were.
  virtual const std::optional<std::string>& protectedAppImportError() const = 0;
  // Why installed applications are found by polling their folders rather than as they change;
  // absent while they are followed as they change.
  virtual std::optional<std::string> applicationIndexPollingReason() const = 0;
  virtual void clearProtectedAppImportError() = 0;
  // Lets the user choose desktop entries to add.
  virtual void chooseProtectedApplications() = 0;
  virtual void setProtectedApp(const std::string& id, bool isEnabled) = 0;
  virtual void removeProtectedApp(const std::string& id) = 0;
  // The built-in list replaces every entry, custom ones included.
  virtual void restoreDefaultProtectedApps() = 0;

  // Sensitive Text. Each setter saves at once; the word lists are stored exactly as typed.
  virtual const std::vector<model::SensitiveRule>& sensitiveRules() const = 0;
  virtual void setSensitiveRule(model::SensitiveKind kind, bool isEnabled) = 0;
  virtual const std::string& alwaysHideWords() const = 0;
  virtual const std::string& neverHideWords() const = 0;
  virtual void setAlwaysHideWords(std::string words) = 0;
  virtual void setNeverHideWords(std::string words) = 0;

  // General: the screen-capture permission.
  virtual bool screenRecordingPermissionGranted() const = 0;
  // The last failure text: a session failure, a failed export or a failed installer start.
  virtual const std::optional<std::string>& lastScanError() const = 0;
  // Asks for the permission; while it is missing, publishes why.
  virtual void requestScreenRecordingPermission() = 0;
  // The desktop's screen-capture settings, without asking. Where there are none to open, what
  // to do instead, to be shown where the button is.
  virtual std::optional<std::string> openScreenRecordingSettings() = 0;
  virtual void refreshScreenRecordingPermission() = 0;
  virtual void restartCorvane() = 0;

  // General: the options and the display Protected Share captures. Each setter saves the options
  // and hands them to a running session.
  virtual const model::ProtectionOptions& protectionOptions() const = 0;
  virtual const std::vector<model::CaptureDisplay>& availableCaptureDisplays() const = 0;
  virtual std::string selectedCaptureDisplayName() const = 0;
  // Absent is the main display.
  virtual void setCaptureDisplay(std::optional<std::uint32_t> id) = 0;
  virtual void refreshCaptureDisplays() = 0;
  virtual void setHideDesktopIcons(bool value) = 0;

  // Alerts.
  virtual void setRemindToSilenceNotifications(bool value) = 0;
  // The desktop's Do Not Disturb settings; where there are none to open, what to do instead.
  virtual std::optional<std::string> openFocusSettings() = 0;

  // Advanced: the readiness rows (fresh on every read), the engine's live rates and the export.
  virtual std::vector<model::HealthItem> healthItems() const = 0;
  // The running session's rates (empty while none runs). They change with every frame, so
  // observeChanges() does not announce them: this does, to the one panel that shows them.
  virtual model::ProtectedShareMetrics protectedShareMetrics() const = 0;
  virtual runtime::Subscription observeMetricsChanges(std::function<void()> observer) = 0;
  virtual const std::optional<std::filesystem::path>& diagnosticsExportURL() const = 0;
  // Why the last export failed; an export clears it, a failure clears the earlier result.
  virtual const std::optional<std::string>& diagnosticsExportError() const = 0;
  virtual void exportDiagnostics() = 0;
  virtual void revealDiagnosticsExport() = 0;

  // About: the build's release settings and signed updates.
  virtual const model::ProductionConfiguration& productionConfiguration() const = 0;
  virtual const std::optional<std::filesystem::path>& verifiedUpdateURL() const = 0;
  // Starts the check and returns at once; the outcome is published.
  virtual void checkForUpdates() = 0;
  // The last check's outcome in words (none before the first).
  virtual const std::optional<std::string>& updateCheckMessage() const = 0;
  virtual void installVerifiedUpdate() = 0;
};

}  // namespace corvane::windows
