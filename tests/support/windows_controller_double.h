#pragma once

#include <optional>
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
  std::optional<std::string> importError;
  model::SettingsSection section = model::SettingsSection::general;
  // completeInitialSetup() refuses while this is set, as with a running former copy.
  bool refusesSetupCompletion = false;
  // What the next quitPreviousCopy() leaves behind: still running (with the error) or gone.
  bool quitSucceeds = true;

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
  void requestScreenRecordingPermission() override { calls.push_back("requestPermission"); }
  void openScreenRecordingSettings() override { calls.push_back("openScreenRecordingSettings"); }
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

 private:
  runtime::CoalescedSignal signal_;
  std::function<void(bool)> pendingQuit_;
};

}  // namespace corvane::testing
