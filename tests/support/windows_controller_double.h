#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/protected_app.h"
#include "runtime/coalesced_signal.h"
#include "runtime/task.h"
#include "windows/settings_window_controller.h"
#include "windows/setup_window_controller.h"

namespace corvane::testing {

// A controller for the setup and settings windows whose state the test sets and whose actions
// it logs by name. Actions change the state the way the real controller does where the windows
// depend on it (completing setup, the excluded-app list, the section). Main actor only.
class WindowsControllerDouble final : public windows::SetupWindowController,
                                      public windows::SettingsWindowController {
 public:
  // ---- State ------------------------------------------------------------------------------
  bool startupComplete = true;
  bool permissionGranted = true;
  windows::PreviousCopyStatus previousCopy;
  bool quitting = false;
  std::optional<std::string> quitError;
  bool setupComplete = false;
  bool demoModeOn = false;
  bool scanning = false;
  bool stopping = false;
  bool healthy = false;
  bool preparing = false;
  model::MenuBarAccessState accessState = model::MenuBarAccessState::available;
  std::vector<model::ProtectedApp> apps = model::ProtectedApp::defaults();
  std::set<std::string> missingApps;  // excluded ids that name no installed application
  std::optional<std::string> importError;
  std::optional<std::string> pollingReason;
  model::SettingsSection section = model::SettingsSection::general;
  // completeInitialSetup() refuses while this is set, as with a running former copy.
  bool refusesSetupCompletion = false;
  // What the next quitPreviousCopy() leaves behind: still running (with the error) or gone.
  bool quitSucceeds = true;

  std::vector<model::SensitiveRule> rules = model::SensitiveRule::defaults();
  std::string alwaysHide;
  std::string neverHide = "Corvane, Example Co";
  std::optional<std::string> lastError;
  model::ProtectionOptions options;
  std::vector<model::CaptureDisplay> displays;
  std::vector<model::HealthItem> health;
  model::ProtectedShareMetrics metrics;
  std::optional<std::filesystem::path> exportURL;
  model::ProductionConfiguration configuration;
  std::optional<std::filesystem::path> updateURL;
  std::optional<std::string> exportError;
  std::optional<std::string> updateMessage;
  std::optional<std::string> saveError;
  std::optional<model::SettingsStoreProblem> reset;
  // What the open-settings buttons say when there is nothing to open (none: they opened).
  std::optional<std::string> nothingToOpen;

  std::vector<std::string> calls;

  // Ends the quit under way (see quitSucceeds).
  void finishQuit() {
    if (auto complete = std::exchange(pendingQuit_, {})) complete(true);
  }
  // Announces a change the test made to the state.
  void changed() { signal_.notify(); }
  int count(const std::string& call) const {
    int n = 0;
    for (const auto& c : calls) n += c == call;
    return n;
  }

  // ---- Both windows ------------------------------------------------------------------------
  runtime::Subscription observeChanges(std::function<void()> observer) override {
    return signal_.observe(std::move(observer));
  }
  bool isDemoModeOn() const override { return demoModeOn; }
  bool isProtectedShareHealthy() const override { return healthy; }
  const std::vector<model::ProtectedApp>& protectedApps() const override { return apps; }
  bool isInstalledApplication(const std::string& id) const override {
    return missingApps.count(id) == 0;
  }
  void setSelectedSettingsSection(model::SettingsSection value) override {
    calls.push_back("setSelectedSettingsSection:" + std::string(model::rawValue(value)));
    // Like the controller's own published values, an unchanged section announces nothing.
    if (section == value) return;
    section = value;
    changed();
  }

  // ---- Setup window ------------------------------------------------------------------------
  bool isStartupInitializationComplete() const override { return startupComplete; }
  bool screenRecordingPermissionGranted() const override { return permissionGranted; }
  void requestScreenRecordingPermission() override { calls.push_back("requestPermission"); }
  std::optional<std::string> openScreenRecordingSettings() override {
    calls.push_back("openScreenRecordingSettings");
    return nothingToOpen;
  }
  const std::optional<model::SettingsStoreProblem>& settingsReset() const override { return reset; }
  windows::PreviousCopyStatus previousCopyStatus() const override { return previousCopy; }
  bool isQuittingLegacyApp() const override { return quitting; }
  const std::optional<std::string>& legacyAppQuitError() const override { return quitError; }
  bool isInitialSetupComplete() const override { return setupComplete; }
  bool isScanning() const override { return scanning; }
  bool isProtectedShareStopping() const override { return stopping; }
  bool isProtectedSharePreparing() const override { return preparing; }
  model::MenuBarAccessState menuBarAccessState() const override { return accessState; }

  void refreshLegacyAppMigrationStatus(bool presentReviewIfNeeded) override {
    calls.push_back(presentReviewIfNeeded ? "refreshLegacy:present" : "refreshLegacy");
  }
  bool completeInitialSetup() override {
    calls.push_back("completeInitialSetup");
    if (refusesSetupCompletion || previousCopy.isRunning) return false;
    setupComplete = true;
    changed();
    return true;
  }
  void openProtectedShareWindow() override { calls.push_back("openProtectedShareWindow"); }
  void toggleDemoMode() override {
    calls.push_back("toggleDemoMode");
    demoModeOn = !demoModeOn;
    changed();
  }
  void retryProtectedShare() override { calls.push_back("retryProtectedShare"); }
  runtime::Task<void> quitPreviousCopy() override {
    calls.push_back("quitPreviousCopy");
    quitting = true;
    quitError.reset();
    changed();
    co_await runtime::awaitCompletion<bool>(
        [this](std::function<void(bool)> complete) { pendingQuit_ = std::move(complete); });
    quitting = false;
    if (quitSucceeds) {
      previousCopy.isRunning = false;
    } else {
      quitError = "The previous copy did not quit.";
    }
    changed();
  }
  void revealInFileManager(const std::filesystem::path& path) override {
    calls.push_back("reveal:" + path.string());
  }

  // ---- Settings window ---------------------------------------------------------------------
  model::SettingsSection selectedSettingsSection() const override { return section; }
  const std::optional<std::string>& protectedAppImportError() const override { return importError; }
  std::optional<std::string> applicationIndexPollingReason() const override {
    return pollingReason;
  }
  void clearProtectedAppImportError() override {
    calls.push_back("clearImportError");
    importError.reset();
    changed();
  }
  void chooseProtectedApplications() override { calls.push_back("chooseApplications"); }
  void setProtectedApp(const std::string& id, bool isEnabled) override {
    calls.push_back("setProtectedApp:" + id + (isEnabled ? ":on" : ":off"));
    for (auto& app : apps) {
      if (app.id == id) {
        app.isEnabled = isEnabled;
        break;
      }
    }
    changed();
  }
  void removeProtectedApp(const std::string& id) override {
    calls.push_back("removeProtectedApp:" + id);
    std::erase_if(apps, [&](const auto& app) { return app.id == id; });
    changed();
  }
  void restoreDefaultProtectedApps() override {
    calls.push_back("restoreDefaults");
    apps = model::ProtectedApp::defaults();
    changed();
  }

  // Sensitive Text: the setters change the state as the controller does.
  const std::vector<model::SensitiveRule>& sensitiveRules() const override { return rules; }
  void setSensitiveRule(model::SensitiveKind kind, bool isEnabled) override {
    calls.push_back("setSensitiveRule:" + std::string(model::rawValue(kind)) +
                    (isEnabled ? ":on" : ":off"));
    for (auto& rule : rules) {
      if (rule.id == kind) rule.isEnabled = isEnabled;
    }
    changed();
  }
  const std::string& alwaysHideWords() const override { return alwaysHide; }
  const std::string& neverHideWords() const override { return neverHide; }
  void setAlwaysHideWords(std::string words) override {
    calls.push_back("setAlwaysHideWords:" + words);
    alwaysHide = std::move(words);
    changed();
  }
  void setNeverHideWords(std::string words) override {
    calls.push_back("setNeverHideWords:" + words);
    neverHide = std::move(words);
    changed();
  }

  // General, Alerts, Advanced, About.
  const std::optional<std::string>& lastScanError() const override { return lastError; }
  void refreshScreenRecordingPermission() override { calls.push_back("refreshPermission"); }
  void restartCorvane() override { calls.push_back("restartCorvane"); }
  const model::ProtectionOptions& protectionOptions() const override { return options; }
  const std::vector<model::CaptureDisplay>& availableCaptureDisplays() const override {
    return displays;
  }
  std::string selectedCaptureDisplayName() const override {
    if (!options.selectedDisplayID) return "Main display";
    for (const auto& display : displays) {
      if (display.id == *options.selectedDisplayID) return display.name;
    }
    return "Selected display";
  }
  void setCaptureDisplay(std::optional<std::uint32_t> id) override {
    calls.push_back("setCaptureDisplay:" + (id ? std::to_string(*id) : std::string("main")));
    options.selectedDisplayID = id;
    changed();
  }
  void refreshCaptureDisplays() override { calls.push_back("refreshCaptureDisplays"); }
  void setHideDesktopIcons(bool value) override {
    calls.push_back(value ? "setHideDesktopIcons:on" : "setHideDesktopIcons:off");
    options.hideDesktopIcons = value;
    changed();
  }
  void setRemindToSilenceNotifications(bool value) override {
    calls.push_back(value ? "setRemind:on" : "setRemind:off");
    options.remindToSilenceNotifications = value;
    changed();
  }
  std::optional<std::string> openFocusSettings() override {
    calls.push_back("openFocusSettings");
    return nothingToOpen;
  }
  const std::optional<std::string>& settingsSaveError() const override { return saveError; }
  const std::optional<std::string>& diagnosticsExportError() const override { return exportError; }
  const std::optional<std::string>& updateCheckMessage() const override { return updateMessage; }
  std::vector<model::HealthItem> healthItems() const override { return health; }
  model::ProtectedShareMetrics protectedShareMetrics() const override { return metrics; }
  runtime::Subscription observeMetricsChanges(std::function<void()> observer) override {
    return metricsSignal_.observe(std::move(observer));
  }
  void metricsChanged() { metricsSignal_.notify(); }
  const std::optional<std::filesystem::path>& diagnosticsExportURL() const override {
    return exportURL;
  }
  void exportDiagnostics() override { calls.push_back("exportDiagnostics"); }
  void revealDiagnosticsExport() override { calls.push_back("revealDiagnosticsExport"); }
  const model::ProductionConfiguration& productionConfiguration() const override {
    return configuration;
  }
  const std::optional<std::filesystem::path>& verifiedUpdateURL() const override {
    return updateURL;
  }
  void checkForUpdates() override { calls.push_back("checkForUpdates"); }
  void installVerifiedUpdate() override { calls.push_back("installVerifiedUpdate"); }

 private:
  runtime::CoalescedSignal signal_;
  runtime::CoalescedSignal metricsSignal_;
  std::function<void(bool)> pendingQuit_;
};

}  // namespace corvane::testing
