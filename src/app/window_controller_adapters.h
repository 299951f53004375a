#pragma once

#include <memory>

#include "platform/file_revealer.h"
#include "platform/settings_opener.h"
#include "windows/settings_window_controller.h"
#include "windows/setup_window_controller.h"

namespace corvane::app {

class CorvaneController;

// The controller as the setup window sees it: its state and actions, the desktop's settings for
// screen sharing and the file manager. Main actor only.
class SetupWindowControllerAdapter final : public windows::SetupWindowController {
 public:
  SetupWindowControllerAdapter(std::shared_ptr<CorvaneController> controller,
                               std::shared_ptr<platform::SettingsOpener> settingsOpener,
                               std::shared_ptr<platform::FileRevealer> fileRevealer);

  runtime::Subscription observeChanges(std::function<void()> observer) override;
  bool isStartupInitializationComplete() const override;
  bool screenRecordingPermissionGranted() const override;
  windows::PreviousCopyStatus previousCopyStatus() const override;
  bool isQuittingLegacyApp() const override;
  const std::optional<std::string>& legacyAppQuitError() const override;
  bool isInitialSetupComplete() const override;
  bool isDemoModeOn() const override;
  bool isScanning() const override;
  bool isProtectedShareStopping() const override;
  bool isProtectedShareHealthy() const override;
  bool isProtectedSharePreparing() const override;
  model::MenuBarAccessState menuBarAccessState() const override;
  const std::vector<model::ProtectedApp>& protectedApps() const override;
  const std::optional<model::SettingsStoreProblem>& settingsReset() const override;
  bool isInstalledApplication(const std::string& id) const override;

  void setSelectedSettingsSection(model::SettingsSection section) override;
  void refreshLegacyAppMigrationStatus(bool presentReviewIfNeeded) override;
  void requestScreenRecordingPermission() override;
  std::optional<std::string> openScreenRecordingSettings() override;
  bool completeInitialSetup() override;
  void openProtectedShareWindow() override;
  void toggleDemoMode() override;
  void retryProtectedShare() override;
  runtime::Task<void> quitPreviousCopy() override;
  void revealInFileManager(const std::filesystem::path& path) override;

 private:
  std::shared_ptr<CorvaneController> controller_;
  std::shared_ptr<platform::SettingsOpener> settingsOpener_;
  std::shared_ptr<platform::FileRevealer> fileRevealer_;
};

// The controller as the settings window sees it. Main actor only.
class SettingsWindowControllerAdapter final : public windows::SettingsWindowController {
 public:
  SettingsWindowControllerAdapter(std::shared_ptr<CorvaneController> controller,
                                  std::shared_ptr<platform::SettingsOpener> settingsOpener);

  runtime::Subscription observeChanges(std::function<void()> observer) override;
  model::SettingsSection selectedSettingsSection() const override;
  void setSelectedSettingsSection(model::SettingsSection section) override;
  bool isProtectedShareHealthy() const override;
  bool isDemoModeOn() const override;
  const std::vector<model::ProtectedApp>& protectedApps() const override;
  const std::optional<std::string>& protectedAppImportError() const override;
  std::optional<std::string> applicationIndexPollingReason() const override;
  void clearProtectedAppImportError() override;
  void chooseProtectedApplications() override;
  void setProtectedApp(const std::string& id, bool isEnabled) override;
  void removeProtectedApp(const std::string& id) override;
  void restoreDefaultProtectedApps() override;
  const std::vector<model::SensitiveRule>& sensitiveRules() const override;
  void setSensitiveRule(model::SensitiveKind kind, bool isEnabled) override;
  const std::string& alwaysHideWords() const override;
  const std::string& neverHideWords() const override;
  void setAlwaysHideWords(std::string words) override;
  void setNeverHideWords(std::string words) override;
  bool screenRecordingPermissionGranted() const override;
  const std::optional<std::string>& lastScanError() const override;
  void requestScreenRecordingPermission() override;
  std::optional<std::string> openScreenRecordingSettings() override;
  void refreshScreenRecordingPermission() override;
  void restartCorvane() override;
  const model::ProtectionOptions& protectionOptions() const override;
  const std::vector<model::CaptureDisplay>& availableCaptureDisplays() const override;
  std::string selectedCaptureDisplayName() const override;
  void setCaptureDisplay(std::optional<std::uint32_t> id) override;
  void refreshCaptureDisplays() override;
  void setHideDesktopIcons(bool value) override;
  void setRemindToSilenceNotifications(bool value) override;
  std::optional<std::string> openFocusSettings() override;
  const std::optional<std::string>& settingsSaveError() const override;
  const std::optional<std::string>& diagnosticsExportError() const override;
  const std::optional<std::string>& updateCheckMessage() const override;
  std::vector<model::HealthItem> healthItems() const override;
  model::ProtectedShareMetrics protectedShareMetrics() const override;
  runtime::Subscription observeMetricsChanges(std::function<void()> observer) override;
  const std::optional<std::filesystem::path>& diagnosticsExportURL() const override;
  void exportDiagnostics() override;
  void revealDiagnosticsExport() override;
  const model::ProductionConfiguration& productionConfiguration() const override;
  const std::optional<std::filesystem::path>& verifiedUpdateURL() const override;
  void checkForUpdates() override;
  void installVerifiedUpdate() override;

 private:
  std::shared_ptr<CorvaneController> controller_;
  std::shared_ptr<platform::SettingsOpener> settingsOpener_;
};

}  // namespace corvane::app
