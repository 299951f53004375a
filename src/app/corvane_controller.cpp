#include "app/corvane_controller.h"

#include <cstdio>
#include <cstdlib>

#include "model/diagnostic_reporter.h"
#include "model/in_memory_defaults_store.h"
#include "model/preferences_store.h"
#include "model/protected_application_catalog.h"
#include "runtime/main_actor.h"

namespace corvane::app {
namespace {

constexpr const char* kFallbackBundleIdentifier = "com.pemberquist.corvane";

capture::ProtectedShareEngineServices engineServices(const CorvaneControllerServices& services) {
  capture::ProtectedShareEngineServices engine;
  engine.desktop = services.desktop;
  engine.ownBundleIdentifier =
      services.bundle->bundleIdentifier().value_or(kFallbackBundleIdentifier);
  engine.ownProcessIdentifier = services.ownProcessIdentifier;
  engine.recorder = services.recorder;
  return engine;
}

}  // namespace

CorvaneControllerServices completedServices(CorvaneControllerServices services) {
  if (!services.desktop.isComplete() || !services.windowSystem) {
    // A wiring mistake of the composition root, not something a user can meet.
    std::fputs("corvane: the controller needs every desktop service and a window system\n", stderr);
    std::abort();
  }
  if (!services.bundle) services.bundle = std::make_shared<const platform::Bundle>();
  if (!services.settings) {
    services.settings =
        std::make_shared<model::InMemoryDefaultsSuite>(model::PreferencesStore::suiteName);
  }
  if (!services.notifications)
    services.notifications = std::make_shared<runtime::NotificationCenter>();
  return services;
}

LegacyAppMigrationAdvisorServices advisorServices(const CorvaneControllerServices& services) {
  return LegacyAppMigrationAdvisorServices{services.desktop.workspace,
                                           services.processTable,
                                           services.systemApplicationDirectories,
                                           services.userApplicationDirectory,
                                           services.programSearchPath,
                                           services.bundle->executablePath(),
                                           services.ownProcessIdentifier};
}

std::shared_ptr<CorvaneController> CorvaneController::make(CorvaneControllerServices services) {
  std::shared_ptr<CorvaneController> controller(new CorvaneController(std::move(services)));
  controller->init();
  return controller;
}

// Steps 1 to 3 of the initialisation: the published state, the managers and the working state,
// each in declaration order.
CorvaneController::CorvaneController(CorvaneControllerServices services)
    : services_(completedServices(std::move(services))),
      legacyAppMigrationAdvisor_(
          std::make_shared<LegacyAppMigrationAdvisor>(advisorServices(services_))),
      productionConfiguration_(model::ProductionConfiguration::current(*services_.bundle)),
      protectedShareEngine_(capture::ProtectedShareEngine::make(engineServices(services_))),
      appHider_(workspaceRepairDefaults(services_.defaultsStore), services_.desktop.workspace),
      legacyDesktopIconRestorer_(LegacyDesktopIconRestorer::defaultKeys(),
                                 workspaceRepairDefaults(services_.defaultsStore),
                                 services_.desktopIconPreference, services_.recorder),
      sourceGuardManager_(services_.windowSystem, services_.sourceGuardContentFactory),
      sourceRedactionOverlayManager_(services_.windowSystem,
                                     services_.sourceRedactionOverlayContentFactory),
      presenterControlBarManager_(std::make_shared<menubar::PresenterControlBarManager>(
          services_.windowSystem, services_.desktop.workspace,
          model::PreferencesStore::applicationDefaults(services_.defaultsStore),
          services_.presenterControlBarContentFactory)),
      protectedShareWindowManager_(std::make_shared<share_window::ProtectedShareWindowManager>(
          services_.windowSystem, services_.outputContentFactory)) {}

CorvaneController::~CorvaneController() = default;

void CorvaneController::init() {
  announceChangesOf(isDemoModeOn_);
  announceChangesOf(hiddenAppsCount_);
  announceChangesOf(statusMessage_);
  announceChangesOf(isProtectedShareStarting_);
  announceChangesOf(isProtectedShareStopping_);
  announceChangesOf(isProtectedShareWindowHiddenLocally_);
  announceChangesOf(isScanning_);
  announceChangesOf(lastScanError_);
  announceChangesOf(settingsReset_);
  announceChangesOf(settingsSaveError_);
  announceChangesOf(diagnosticsExportError_);
  announceChangesOf(updateCheckMessage_);
  announceChangesOf(screenRecordingPermissionGranted_);
  announceChangesOf(accessibilityPermissionGranted_);
  announceChangesOf(screenRecordingPermissionRequestPending_);
  announceChangesOf(accessibilityPermissionRequestPending_);
  announceChangesOf(diagnosticsExportURL_);
  announceChangesOf(availableCaptureDisplays_);
  announceChangesOf(isStartupInitializationComplete_);
  announceChangesOf(isInitialSetupComplete_);
  announceChangesOf(menuBarAccessState_);
  announceChangesOf(legacyAppStatus_);
  announceChangesOf(isQuittingLegacyApp_);
  announceChangesOf(legacyAppQuitError_);
  announceChangesOf(verifiedUpdateURL_);
  announceChangesOf(interactionTargetName_);
  announceChangesOf(directShareTestState_);
  announceChangesOf(protectedAppImportError_);
  announceChangesOf(selectedSettingsSection_);
  announceChangesOf(protectedApps_);
  announceChangesOf(sensitiveRules_);
  announceChangesOf(alwaysHideWords_);
  announceChangesOf(neverHideWords_);
  announceChangesOf(protectionOptions_);
  // The views read the engine's state through the controller too.
  auto& engine = *protectedShareEngine_;
  announceChangesOf(engine.phase);
  announceChangesOf(engine.statusMessage);
  // Per-frame values never make the views redraw: of the rendered frame they read only whether
  // there is one, and the live rates have their own signal for the one panel that shows them.
  ownObservations_.push_back(engine.renderedFrame.observeAtOnce([this](const auto& frame) {
    if (frame.has_value() != protectedShareEngine_->renderedFrame->has_value()) changes_.notify();
  }));
  ownObservations_.push_back(
      engine.metrics.observeAtOnce([this](const auto&) { metricsChanges_.notify(); }));
  announceChangesOf(engine.lastError);
  announceChangesOf(engine.isPublishingPaused);
  announceChangesOf(engine.isSourceContextTransitioning);
  announceChangesOf(engine.isHoldingPreviousVerifiedFrame);
  announceChangesOf(engine.isCaptureFilterTransitioning);
  announceChangesOf(engine.sourceContextRecoveryMessage);
  announceChangesOf(engine.foregroundProtectedApplicationName);

  // A display lost during a session is forgotten once the session has ended.
  auto watchSessionEnd = [this](auto& property) {
    ownObservations_.push_back(
        property.observeNextTurn([this](const auto&) { forgetLostDisplayChoiceOnceStopped(); }));
  };
  watchSessionEnd(isDemoModeOn_);
  watchSessionEnd(isProtectedShareStopping_);
  watchSessionEnd(engine.phase);

  std::weak_ptr<CorvaneController> weakSelf = weak_from_this();
  directShareTestManager_.stateHandler =
      [weakSelf](const share_window::DirectShareTestState& state) {
        if (auto self = weakSelf.lock()) self->setDirectShareTestState(state);
      };

  // 4: the former brand (never in a QA run).
  if (!isQAPreferencesSuiteActive()) legacyAppStatus_.set(legacyAppMigrationAdvisor_->status());
  // 5 to 10: the stored settings.
  loadSettings();
  // 11: the permissions, without asking.
  screenRecordingPermissionGranted_.set(services_.desktop.permissions->screenCapturePreflight());
  accessibilityPermissionGranted_.set(services_.desktop.permissions->accessibilityTrusted());
  // 12 to 14.
  refreshCaptureDisplays();
  bindEngineAndWorkspace();
  monitorLegacyAppStatusIfNeeded();
  // 15: put back what an earlier version left changed.
  appHider_.restore();
  legacyDesktopIconRestorer_.restoreFromPreviousSession();
  // 16, 17.
  if (auto frontmost = services_.desktop.workspace->frontmostApplication()) {
    rememberSourceApplication(*frontmost);
  }
  record("app_shell_initialized",
         {{"screenRecordingPermission", model::diagnosticFlag(*screenRecordingPermissionGranted_)},
          {"accessibilityPermission", model::diagnosticFlag(*accessibilityPermissionGranted_)}});
}

void CorvaneController::loadSettings() {
  using model::PreferencesStore;
  const auto& settings = *services_.settings;
  const auto apps = PreferencesStore::load<std::vector<model::ProtectedApp>>(
      settings, PreferencesStore::protectedAppsKey);
  protectedApps_.set(apps ? model::ProtectedApplicationCatalog::normalized(*apps)
                          : model::ProtectedApp::defaults());
  const auto rules = PreferencesStore::load<std::vector<model::SensitiveRule>>(
      settings, PreferencesStore::sensitiveRulesKey);
  sensitiveRules_.set(rules ? PreferencesStore::mergeSavedSensitiveRules(*rules)
                            : model::SensitiveRule::defaults());
  alwaysHideWords_.set(settings.stringValue(kAlwaysHideWordsKey).value_or(""));
  neverHideWords_.set(settings.stringValue(kNeverHideWordsKey).value_or(kDefaultNeverHideWords));
  protectionOptions_.set(PreferencesStore::loadProtectionOptions(*services_.settings));
  isInitialSetupComplete_.set(storedSetupIsComplete(settings));
}

bool CorvaneController::storedSetupIsComplete(const platform::DefaultsSuite& settings) {
  return !settings.boolValue(model::PreferencesStore::brandMigrationReviewRequiredKey) &&
         settings.integerValue(kSetupCompletionVersionKey) > 0;
}

template <class T>
void CorvaneController::announceChangesOf(runtime::Published<T>& property) {
  // The observation ends with the controller, so it may hold it plainly.
  ownObservations_.push_back(property.observeAtOnce([this](const T&) { changes_.notify(); }));
}

runtime::Subscription CorvaneController::observeChanges(std::function<void()> observer) {
  runtime::assertMainActor();
  return changes_.observe(std::move(observer));
}

runtime::Subscription CorvaneController::observeMetricsChanges(std::function<void()> observer) {
  runtime::assertMainActor();
  return metricsChanges_.observe(std::move(observer));
}

model::ProtectedShareMetrics CorvaneController::liveProtectedShareMetrics() const {
  // A stopped session's last rates are not live rates.
  if (!model::isActive(*protectedShareEngine_->phase)) return model::ProtectedShareMetrics::empty();
  return *protectedShareEngine_->metrics;
}

void CorvaneController::record(const std::string& event,
                               std::map<std::string, std::string> fields) const {
  if (services_.recorder) services_.recorder(event, std::move(fields));
}

void CorvaneController::setDirectShareTestState(share_window::DirectShareTestState state) {
  directShareTestState_.set(state);
  protectedShareWindowManager_->setDirectShareTestState(std::move(state));
}

bool CorvaneController::isSessionUnderWay() const {
  return *isDemoModeOn_ || *isProtectedShareStarting_ ||
         model::isActive(*protectedShareEngine_->phase);
}

}  // namespace corvane::app
