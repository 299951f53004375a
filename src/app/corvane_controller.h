#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/app_hider.h"
#include "app/corvane_controller_services.h"
#include "app/direct_share_test_manager.h"
#include "app/legacy_app_migration_advisor.h"
#include "app/legacy_app_migration_status.h"
#include "app/legacy_desktop_icon_restorer.h"
#include "app/protected_share_readiness.h"
#include "app/source_guard_manager.h"
#include "capture/protected_share_engine.h"
#include "menubar/presenter_control_bar_controller.h"
#include "menubar/presenter_control_bar_manager.h"
#include "model/capture_display.h"
#include "model/health_item.h"
#include "model/menu_bar_access_state.h"
#include "model/production_configuration.h"
#include "model/protected_app.h"
#include "model/protection_options.h"
#include "model/sensitive_content.h"
#include "model/settings_section.h"
#include "model/settings_store_problem.h"
#include "platform/dialogs.h"
#include "runtime/coalesced_signal.h"
#include "runtime/published.h"
#include "runtime/subscription.h"
#include "runtime/task.h"
#include "share_window/direct_share_test_state.h"
#include "share_window/protected_share_window_controller.h"
#include "share_window/protected_share_window_manager.h"
#include "verification/source_redaction_overlay_manager.h"

namespace corvane::app {

// The application's one coordinator and observable model. It owns every manager, holds the
// state the windows, the tray popover and the presenter bar show, and carries out every user
// action. Main actor only; owned by a shared_ptr (closures and tasks hold it weakly, except the
// few that say otherwise).
//
// Views read the getters and re-read what they show whenever observeChanges() fires: once per
// main-actor turn in which anything they can see changed.
//
// The class is defined across files, one per responsibility:
//   corvane_controller.cpp            construction, the published state, the change signal
//   corvane_controller_settings.cpp   settings setters, the display list, pushing to a capture
//   corvane_controller_readiness.cpp  derived session state and the health rows
//   corvane_controller_former_brand.cpp  setup completion, the former brand's copy
//   corvane_controller_startup.cpp    start-up completion and the launch automation entry
//   corvane_controller_sealing.cpp    ending a session because of a failure
//   corvane_controller_session.cpp    the session flow: start, stop, termination restore
//   corvane_controller_bindings.cpp   the engine and workspace bindings
//   corvane_controller_preview.cpp    the local preview and the presenter bar
//   corvane_controller_actions.cpp    settings and maintenance actions
//   corvane_controller_automation.cpp  the launch automation
class CorvaneController final : public std::enable_shared_from_this<CorvaneController>,
                                public share_window::ProtectedShareWindowController,
                                public menubar::PresenterControlBarController {
 public:
  static constexpr const char* kDefaultStatusMessage = "Ready to protect your next demo";
  static constexpr const char* kDefaultInteractionTargetName = "current app";
  static constexpr const char* kDefaultNeverHideWords = "Corvane, Example Co";
  static constexpr const char* kAlwaysHideWordsKey = "alwaysHideWords";
  static constexpr const char* kNeverHideWordsKey = "neverHideWords";
  static constexpr const char* kSetupCompletionVersionKey = "setupCompletionVersion";
  static constexpr double kLegacyAppMonitorInterval = 0.5;
  static constexpr int kLegacyAppQuitPollAttempts = 30;
  static constexpr double kLegacyAppQuitPollInterval = 0.1;
  static constexpr const char* kSelectedDisplayLostMessage =
      "The selected display was disconnected. Stop Protected Share, then choose a display to "
      "share.";

  // Builds the controller and runs its initialisation.
  static std::shared_ptr<CorvaneController> make(CorvaneControllerServices services);
  ~CorvaneController();
  CorvaneController(const CorvaneController&) = delete;
  CorvaneController& operator=(const CorvaneController&) = delete;

  // ---- Published state ----------------------------------------------------------------------
  bool isDemoModeOn() const { return *isDemoModeOn_; }
  // The excluded applications the running filter leaves out, kept current with every filter
  // change; 0 without a session.
  int hiddenAppsCount() const { return *hiddenAppsCount_; }
  // Whether an excluded id names an installed application (it can then be protected).
  bool isInstalledApplication(const std::string& id) const;
  // The enabled excluded applications that are installed, and those that are not.
  int enabledInstalledProtectedAppCount() const;
  int enabledMissingProtectedAppCount() const;
  const std::string& statusMessage() const { return *statusMessage_; }
  bool isProtectedShareStarting() const { return *isProtectedShareStarting_; }
  bool isProtectedShareStopping() const { return *isProtectedShareStopping_; }
  bool isProtectedShareWindowHiddenLocally() const { return *isProtectedShareWindowHiddenLocally_; }
  bool isScanning() const { return *isScanning_; }
  const std::optional<std::string>& lastScanError() const { return *lastScanError_; }
  // What the settings store met on its own this run: settings reset from an unreadable file,
  // and why changes cannot be saved (absent while they can).
  const std::optional<model::SettingsStoreProblem>& settingsReset() const {
    return *settingsReset_;
  }
  const std::optional<std::string>& settingsSaveError() const { return *settingsSaveError_; }
  // Why the last diagnostics export failed (cleared by the next that succeeds).
  const std::optional<std::string>& diagnosticsExportError() const {
    return *diagnosticsExportError_;
  }
  // The last update check's outcome in words; none before the first check.
  const std::optional<std::string>& updateCheckMessage() const { return *updateCheckMessage_; }
  // Takes note of a problem the settings store reports (on the main actor).
  void noteSettingsStoreProblem(model::SettingsStoreProblem problem);
  bool screenRecordingPermissionGranted() const { return *screenRecordingPermissionGranted_; }
  bool accessibilityPermissionGranted() const { return *accessibilityPermissionGranted_; }
  bool screenRecordingPermissionRequestPending() const {
    return *screenRecordingPermissionRequestPending_;
  }
  bool accessibilityPermissionRequestPending() const {
    return *accessibilityPermissionRequestPending_;
  }
  const std::optional<std::filesystem::path>& diagnosticsExportURL() const {
    return *diagnosticsExportURL_;
  }
  const std::vector<model::CaptureDisplay>& availableCaptureDisplays() const {
    return *availableCaptureDisplays_;
  }
  bool isStartupInitializationComplete() const { return *isStartupInitializationComplete_; }
  bool isInitialSetupComplete() const { return *isInitialSetupComplete_; }
  // What the stored settings say: setup completed, and no review of the former brand pending.
  static bool storedSetupIsComplete(const platform::DefaultsSuite& settings);
  model::MenuBarAccessState menuBarAccessState() const { return *menuBarAccessState_; }
  const model::ProductionConfiguration& productionConfiguration() const {
    return *productionConfiguration_;
  }
  const LegacyAppMigrationStatus& legacyAppStatus() const { return *legacyAppStatus_; }
  bool isQuittingLegacyApp() const { return *isQuittingLegacyApp_; }
  const std::optional<std::string>& legacyAppQuitError() const { return *legacyAppQuitError_; }
  const std::optional<std::filesystem::path>& verifiedUpdateURL() const {
    return *verifiedUpdateURL_;
  }
  const std::string& interactionTargetName() const { return *interactionTargetName_; }
  const share_window::DirectShareTestState& directShareTestState() const {
    return *directShareTestState_;
  }
  // Why installed applications are polled rather than followed as they change (the capture's).
  std::optional<std::string> applicationIndexPollingReason() const;
  const std::optional<std::string>& protectedAppImportError() const {
    return *protectedAppImportError_;
  }
  model::SettingsSection selectedSettingsSection() const { return *selectedSettingsSection_; }
  const std::vector<model::ProtectedApp>& protectedApps() const { return *protectedApps_; }
  const std::vector<model::SensitiveRule>& sensitiveRules() const { return *sensitiveRules_; }
  const std::string& alwaysHideWords() const { return *alwaysHideWords_; }
  const std::string& neverHideWords() const { return *neverHideWords_; }
  const model::ProtectionOptions& protectionOptions() const { return *protectionOptions_; }

  // Runs `observer` on the turn after any change of the controller's or its engine's published
  // state (at most once per turn).
  // The rendered frame and the live rates change with every frame: observeChanges() announces
  // only whether there is a frame, and this signal the rates (at most once per turn).
  runtime::Subscription observeChanges(std::function<void()> observer);
  runtime::Subscription observeMetricsChanges(std::function<void()> observer);
  // The running session's rates; empty while none runs.
  model::ProtectedShareMetrics liveProtectedShareMetrics() const;

  // ---- Owned managers -------------------------------------------------------------------------
  const std::shared_ptr<capture::ProtectedShareEngine>& protectedShareEngine() const {
    return protectedShareEngine_;
  }
  const std::shared_ptr<share_window::ProtectedShareWindowManager>& protectedShareWindowManager()
      const {
    return protectedShareWindowManager_;
  }
  DirectShareTestManager& directShareTestManager() { return directShareTestManager_; }
  SourceGuardManager& sourceGuardManager() { return sourceGuardManager_; }
  const std::shared_ptr<menubar::PresenterControlBarManager>& presenterControlBarManager() const {
    return presenterControlBarManager_;
  }
  verification::SourceRedactionOverlayManager& sourceRedactionOverlayManager() {
    return sourceRedactionOverlayManager_;
  }
  const std::shared_ptr<operations::UpdateManager>& updateManager() const {
    return services_.updateManager;
  }

  // ---- Settings (corvane_controller_settings.cpp) ----------------------------------------------
  // Each publishes the value, saves it in the active settings suite and, for the excluded
  // applications and the options, hands the change to a running capture at once.
  void setProtectedApps(std::vector<model::ProtectedApp> apps);
  void setSensitiveRules(std::vector<model::SensitiveRule> rules);
  // Switches the rule of that kind and saves the list; nothing when the list has no such rule
  // or it is already so (corvane_controller_sensitive_rules.cpp).
  void setSensitiveRule(model::SensitiveKind kind, bool isEnabled);
  void setAlwaysHideWords(std::string words);
  void setNeverHideWords(std::string words);
  void setProtectionOptions(model::ProtectionOptions options);
  // Not persisted.
  void setSelectedSettingsSection(model::SettingsSection section);
  // Written by the tray icon's visibility watch.
  void setMenuBarAccessState(model::MenuBarAccessState state);
  // The settings window dismissed the import message.
  void clearProtectedAppImportError();
  // Lists the connected screens again. A chosen display that is gone is forgotten (and saved);
  // during a session the session is sealed instead and the choice forgotten once it has stopped.
  void refreshCaptureDisplays();

  // ---- Start-up (corvane_controller_startup.cpp) -------------------------------------------
  // Once only: on the next turn marks start-up complete, records "app_initialized" and runs the
  // launch automation when asked for.
  void completeStartupInitialization();

  // ---- Setup and the former brand (corvane_controller_former_brand.cpp) ----------------------
  bool completeInitialSetup();
  void refreshLegacyAppMigrationStatus(bool presentReviewIfNeeded);
  // Asks a running former copy to quit and says how it went; a second call while one runs does
  // nothing.
  runtime::Task<void> quitPreviousCopy();

  // ---- Settings and maintenance actions (corvane_controller_actions.cpp) ---------------------
  static constexpr double kPermissionObservationInterval = 0.5;
  static constexpr int kPermissionObservationPasses = 60;
  void requestScreenRecordingPermission();
  void refreshScreenRecordingPermission();
  void setHideDesktopIcons(bool value);
  void setRemindToSilenceNotifications(bool value);
  // Absent: the main display. During a session the output window moves with the choice.
  void setCaptureDisplay(std::optional<std::uint32_t> id);
  void exportDiagnostics();
  void revealDiagnosticsExport();
  // Starts a check and returns at once; while one runs a second call does nothing.
  void checkForUpdates();
  // Checks the stored update again and starts its installer off the main actor, then quits;
  // while one install is being prepared a second call does nothing.
  void installVerifiedUpdate();
  bool isCheckingForUpdates() const { return isCheckingForUpdates_; }
  bool isInstallingVerifiedUpdate() const { return isInstallingVerifiedUpdate_; }
  void setProtectedApp(const std::string& id, bool isEnabled);
  // The open panel over application entries; the chosen ones are imported.
  void chooseProtectedApplications();
  void addProtectedApplications(const std::vector<std::filesystem::path>& urls);
  void removeProtectedApp(const std::string& id);
  void restoreDefaultProtectedApps();
  // Starts a new copy that waits for this one to exit, then quits; when the new copy cannot be
  // started the application keeps running and says why.
  void restartCorvane();

  // ---- Derived session state (corvane_controller_readiness.cpp) -----------------------------
  std::string selectedCaptureDisplayName() const;
  bool isProtectedShareHealthy() const;
  bool isProtectedSharePreparing() const;
  bool canStartProtectedShare() const;
  bool canHideProtectedShareWindowLocally() const;
  model::HealthState secureViewportHealthState() const;
  std::string secureViewportHealthDetail() const;
  std::vector<model::HealthItem> healthItems() const;

  // ---- Session flow (corvane_controller_session.cpp) -----------------------------------------
  static constexpr const char* kWorkspaceRestoredMessage = "Workspace restored";
  // Opens the output window: the local preview without a session, the live output with one.
  void openProtectedShareWindow();
  // Starts a session, or stops the running one; ignored while a stop is under way.
  void toggleDemoMode() override;
  // Starts a session; the outcome is in the published state. Refused (with a message) while the
  // former brand's copy runs, setup is incomplete or capture is not allowed.
  runtime::Task<void> startDemoMode();
  void stopDemoMode() override;
  // Brings the locally hidden live preview back.
  void showProtectedShareLiveWindow() override;
  // Called on the termination notification: takes every window of the session down at once.
  // From then on no session starts.
  void restoreWorkspaceForTermination();
  bool hasTerminationBegun() const { return hasTerminationBegun_; }
  // Refreshes the source guard over the real display and then the presenter bar.
  void refreshSourceGuard();
  // The output window's controller.
  std::shared_ptr<capture::ProtectedOutputSurface> protectedOutputSurface() override;
  void handleKeyboardCommand(share_window::ProtectedShareKeyboardCommand command) override;
  void togglePublishingPaused() override;

  // ---- Engine and workspace bindings (corvane_controller_bindings.cpp) ----------------------
  static constexpr double kSourceContextSettleDelay = 0.35;
  static constexpr double kSourceGuardRecheckDelay = 0.15;
  // Marks a desktop change: the engine holds its frame until changes settle.
  void beginSourceSpaceTransition(const std::string& reason);

  // ---- Local preview and presenter bar (corvane_controller_preview.cpp) ----------------------
  static constexpr double kPresentationWatchdogInterval = 2.0;
  static constexpr int kMaximumFailedPreviewRestores = 3;
  void refreshPresenterControlBar();
  // Asks the user to confirm that sharing has started, then hides the live preview here.
  void requestHideProtectedShareWindowLocally() override;
  void hideProtectedShareWindowLocally();
  void fitProtectedSharePreview() override;
  void showProtectedSharePreviewAtActualSize() override;
  void moveProtectedSharePreviewToNextCorner() override;
  void retrySourceContextTransition() override;
  // Stops the engine and starts the session again; ignored while a start or stop is under way.
  void retryProtectedShare();
  // Remembers the application the presenter shares from, when it is one input can go back to.
  void rememberSourceApplication(const platform::RunningApplication& application);
  void activateSourceApplicationForInteraction(bool force);
  bool isEligibleInteractionTarget(const platform::RunningApplication& application) const;

 private:
  explicit CorvaneController(CorvaneControllerServices services);
  void init();

  // corvane_controller.cpp
  template <class T>
  void announceChangesOf(runtime::Published<T>& property);
  void record(const std::string& event, std::map<std::string, std::string> fields = {}) const;
  bool isQAPreferencesSuiteActive() const { return services_.qaPreferencesSuiteName.has_value(); }
  void loadSettings();
  void setDirectShareTestState(share_window::DirectShareTestState state);
  // A session is starting, running (sealed or not) or the engine is busy.
  bool isSessionUnderWay() const;

  // corvane_controller_settings.cpp
  void pushProtectedShareCaptureConfigurationIfRunning();
  std::set<std::string> enabledProtectedAppIDs() const;
  int installedCount(const std::set<std::string>& ids) const;
  void sealForLostSelectedDisplay(std::uint32_t displayID);
  void forgetLostDisplayChoiceOnceStopped();

  // corvane_controller_readiness.cpp
  ProtectedShareReadiness readiness() const;
  bool isDirectShareTestOutputEligible() const;

  // corvane_controller_former_brand.cpp
  void monitorLegacyAppStatusIfNeeded();
  static runtime::Task<void> runLegacyAppStatusMonitor(std::shared_ptr<CorvaneController> self);

  // corvane_controller_startup.cpp
  static runtime::Task<void> runStartupInitialization(std::weak_ptr<CorvaneController> weakSelf);
  void runLaunchAutomationIfRequested();

  // corvane_controller_actions.cpp
  // Reads both permissions again; says and records what changed (always, when `announce`).
  void refreshPermissionStates(const std::string& reason, bool announce);
  static runtime::Task<void> runPermissionObservation(std::weak_ptr<CorvaneController> weakSelf);
  static runtime::Task<void> runUpdateCheck(std::shared_ptr<CorvaneController> self);
  static runtime::Task<void> runVerifiedUpdateInstall(std::shared_ptr<CorvaneController> self,
                                                      std::filesystem::path packageURL);
  std::vector<std::filesystem::path> applicationDirectories() const;

  // corvane_controller_sealing.cpp
  void sealWorkspaceAfterProtectedShareFailure(const std::string& message,
                                               const std::string& event);
  bool isSourceGuardVisible() const;

  // corvane_controller_automation.cpp
  // The body of the launch automation, given the process's arguments.
  static runtime::Task<void> runLaunchAutomation(std::weak_ptr<CorvaneController> weakSelf,
                                                 std::set<std::string> arguments);

  // corvane_controller_session.cpp
  static runtime::Task<void> runToggledStart(std::shared_ptr<CorvaneController> self);
  // Awaits the engine's stop and ends the stop under way; the controller, if it still exists.
  static runtime::Task<std::shared_ptr<CorvaneController>> awaitEngineStop(
      std::weak_ptr<CorvaneController> weakSelf,
      std::shared_ptr<capture::ProtectedShareEngine> engine);
  static runtime::Task<void> runStop(std::weak_ptr<CorvaneController> weakSelf,
                                     std::shared_ptr<capture::ProtectedShareEngine> engine);
  bool isProtectedApplication(const platform::RunningApplication& application) const;
  bool isOwnApplication(const platform::RunningApplication& application) const;
  // The guard's stop button: stops the session unless a stop is under way.
  std::function<void()> guardStopAction();
  // Covers the chosen display with the source guard after a failure (the start-up guard is on),
  // its button stopping the session.
  void showSourceGuardAfterFailure();
  void showSourceGuard();
  void resetSessionPresentation();

  // corvane_controller_bindings.cpp
  // Step 13 of the initialisation: the engine, workspace, screen and termination bindings.
  void bindEngineAndWorkspace();
  void bindProtectedShareEngine();
  void bindApplicationActivation();
  void bindScreenParameters();
  void bindTerminationRestore();
  void handleEnginePhase(model::ProtectedSharePhase phase);
  void handleRenderedFrame(const std::optional<model::ProtectedRenderedFrame>& frame);
  void handleWorkspaceEvent(const platform::WorkspaceEvent& event);
  void handleApplicationActivated(const platform::RunningApplication& application);
  void handleApplicationLaunched(const platform::RunningApplication& application);
  void handleApplicationTerminated(const platform::RunningApplication& application);
  void handleApplicationHidden(const platform::RunningApplication& application);
  void handleScreenParametersChanged();
  // Filter refreshes: holding the output until the new filter leaves out `application`, holding
  // it until the filter is applied again, or without a hold.
  void holdUntilFilterCovers(const platform::RunningApplication& application);
  void holdUntilFilterReapplied();
  void refreshCaptureFilter();
  // The file manager that draws the desktop icons (its id kept, since an application that has
  // quit can no longer be looked up).
  bool isDesktopIconOwner(const platform::RunningApplication& application);
  void refreshProtectedWindowStatus();
  void releaseSourceGuardForLiveSession();
  static runtime::Task<void> runSourceGuardRecheck(std::weak_ptr<CorvaneController> weakSelf,
                                                   std::uint64_t generation);
  static runtime::Task<void> runSourceContextTransition(std::weak_ptr<CorvaneController> weakSelf,
                                                        std::uint64_t generation);
  static runtime::Task<void> pauseAfterFirstFrame(std::weak_ptr<CorvaneController> weakSelf);
  static runtime::Task<void> stopAfterUnshareableFrame(std::weak_ptr<CorvaneController> weakSelf);

  // corvane_controller_preview.cpp
  bool isLiveSessionForBar() const;
  bool canChangePreviewVisibility() const;
  void completeLocalPreviewRestore(const std::string& message, const std::string& event);
  // (Re)starts the watch over the hidden preview; its first pass waits `firstPassDelay`.
  void startLocalPreviewPresentationWatchdog(double firstPassDelay = 0);
  void restoreHiddenPreviewAfterPresentationStopped();
  static runtime::Task<void> runPresentationWatchdog(
      std::weak_ptr<CorvaneController> weakSelf, std::uint64_t generation,
      std::uint32_t windowNumber, std::shared_ptr<capture::ProtectedOutputSurface> surface,
      double firstPassDelay);
  static runtime::Task<void> runRetry(std::weak_ptr<CorvaneController> weakSelf,
                                      std::shared_ptr<capture::ProtectedShareEngine> engine);
  std::weak_ptr<menubar::PresenterControlBarController> barController();

  CorvaneControllerServices services_;
  std::shared_ptr<LegacyAppMigrationAdvisor> legacyAppMigrationAdvisor_;

  // Published properties, in declaration order.
  runtime::Published<bool> isDemoModeOn_{false};
  runtime::Published<int> hiddenAppsCount_{0};
  runtime::Published<std::string> statusMessage_{kDefaultStatusMessage};
  runtime::Published<bool> isProtectedShareStarting_{false};
  runtime::Published<bool> isProtectedShareStopping_{false};
  runtime::Published<bool> isProtectedShareWindowHiddenLocally_{false};
  runtime::Published<bool> isScanning_{false};
  runtime::Published<std::optional<std::string>> lastScanError_{std::nullopt};
  runtime::Published<std::optional<model::SettingsStoreProblem>> settingsReset_{std::nullopt};
  runtime::Published<std::optional<std::string>> settingsSaveError_{std::nullopt};
  runtime::Published<std::optional<std::string>> diagnosticsExportError_{std::nullopt};
  runtime::Published<std::optional<std::string>> updateCheckMessage_{std::nullopt};
  runtime::Published<bool> screenRecordingPermissionGranted_{false};
  runtime::Published<bool> accessibilityPermissionGranted_{false};
  runtime::Published<bool> screenRecordingPermissionRequestPending_{false};
  runtime::Published<bool> accessibilityPermissionRequestPending_{false};
  runtime::Published<std::optional<std::filesystem::path>> diagnosticsExportURL_{std::nullopt};
  runtime::Published<std::vector<model::CaptureDisplay>> availableCaptureDisplays_;
  runtime::Published<bool> isStartupInitializationComplete_{false};
  runtime::Published<bool> isInitialSetupComplete_{false};
  runtime::Published<model::MenuBarAccessState> menuBarAccessState_{
      model::MenuBarAccessState::checking};
  runtime::Published<model::ProductionConfiguration> productionConfiguration_;
  runtime::Published<LegacyAppMigrationStatus> legacyAppStatus_{LegacyAppMigrationStatus::clear()};
  runtime::Published<bool> isQuittingLegacyApp_{false};
  runtime::Published<std::optional<std::string>> legacyAppQuitError_{std::nullopt};
  runtime::Published<std::optional<std::filesystem::path>> verifiedUpdateURL_{std::nullopt};
  runtime::Published<std::string> interactionTargetName_{kDefaultInteractionTargetName};
  runtime::Published<share_window::DirectShareTestState> directShareTestState_;
  runtime::Published<std::optional<std::string>> protectedAppImportError_{std::nullopt};
  runtime::Published<model::SettingsSection> selectedSettingsSection_{
      model::SettingsSection::general};
  runtime::Published<std::vector<model::ProtectedApp>> protectedApps_;
  runtime::Published<std::vector<model::SensitiveRule>> sensitiveRules_;
  runtime::Published<std::string> alwaysHideWords_;
  runtime::Published<std::string> neverHideWords_;
  runtime::Published<model::ProtectionOptions> protectionOptions_;

  // Owned managers and services, in declaration order.
  std::shared_ptr<capture::ProtectedShareEngine> protectedShareEngine_;
  AppHider appHider_;
  LegacyDesktopIconRestorer legacyDesktopIconRestorer_;
  SourceGuardManager sourceGuardManager_;
  verification::SourceRedactionOverlayManager sourceRedactionOverlayManager_;
  std::shared_ptr<menubar::PresenterControlBarManager> presenterControlBarManager_;
  std::shared_ptr<share_window::ProtectedShareWindowManager> protectedShareWindowManager_;
  DirectShareTestManager directShareTestManager_;

  // Working state, in declaration order. A task field is absent when it holds no valid handle;
  // cancelling one means cancelTask() (cancel and clear in one step).
  runtime::TaskHandle<void> protectedShareStopTask_;
  std::vector<runtime::Subscription> cancellables_;
  std::optional<platform::RunningApplication> lastSourceApplication_;
  bool hasActivatedSourceForCurrentSession_ = false;
  runtime::TaskHandle<void> sourceGuardReleaseTask_;
  bool shouldPauseForLaunchAutomation_ = false;
  bool hasTerminationBegun_ = false;
  runtime::TaskHandle<void> permissionObservationTask_;
  runtime::TaskHandle<void> startupInitializationTask_;
  runtime::TaskHandle<void> legacyAppStatusObservationTask_;
  std::uint64_t demoModeGeneration_ = 0;
  std::uint64_t sourceContextGeneration_ = 0;
  runtime::TaskHandle<void> sourceContextTransitionTask_;
  runtime::TaskHandle<void> localPreviewPresentationWatchdogTask_;

  // One update check and one install at a time.
  bool isCheckingForUpdates_ = false;
  bool isInstallingVerifiedUpdate_ = false;

  // A chosen display that vanished during a session: forgotten once the session has stopped.
  std::optional<std::uint32_t> lostSelectedDisplayID_;

  // The pixel size the output window was last made live at in this session; the live-frame work
  // runs only when it changes.
  std::optional<platform::Size> liveFramePixelSize_;
  // Restores of the hidden preview that failed in a row.
  int failedPreviewRestores_ = 0;
  // The application id of the desktop-icon owner, as last seen.
  std::optional<std::string> desktopIconOwnerID_;

  // The views' change signal, and the controller's own observations (the change feeds and the
  // watch for a session's end).
  runtime::CoalescedSignal changes_;
  runtime::CoalescedSignal metricsChanges_;
  std::vector<runtime::Subscription> ownObservations_;
};

// Cancels a stored task and clears the field, in one step.
inline void cancelTask(runtime::TaskHandle<void>& task) {
  task.cancel();
  task = {};
}

}  // namespace corvane::app
