#include "app/window_controller_adapters.h"

#include "app/corvane_controller.h"
#include "app/system_settings_links.h"

namespace corvane::app {
namespace {

// Where the desktop has no such settings (X11 grants capture with the session), the permission
// request says why capture is refused instead, and that sentence is what the button shows.
std::optional<std::string> openScreenRecordingSettings(CorvaneController& controller,
                                                       platform::SettingsOpener* settingsOpener) {
  if (settingsOpener && ScreenCapturePermissionManager::openSettings(*settingsOpener)) {
    return std::nullopt;
  }
  if (controller.screenRecordingPermissionGranted()) {
    return std::string(ScreenCapturePermissionManager::kNothingToOpenText);
  }
  controller.requestScreenRecordingPermission();
  return controller.statusMessage();
}

}  // namespace

SetupWindowControllerAdapter::SetupWindowControllerAdapter(
    std::shared_ptr<CorvaneController> controller,
    std::shared_ptr<platform::SettingsOpener> settingsOpener,
    std::shared_ptr<platform::FileRevealer> fileRevealer)
    : controller_(std::move(controller)),
      settingsOpener_(std::move(settingsOpener)),
      fileRevealer_(std::move(fileRevealer)) {}

runtime::Subscription SetupWindowControllerAdapter::observeChanges(std::function<void()> observer) {
  return controller_->observeChanges(std::move(observer));
}
bool SetupWindowControllerAdapter::isStartupInitializationComplete() const {
  return controller_->isStartupInitializationComplete();
}
bool SetupWindowControllerAdapter::screenRecordingPermissionGranted() const {
  return controller_->screenRecordingPermissionGranted();
}
windows::PreviousCopyStatus SetupWindowControllerAdapter::previousCopyStatus() const {
  const auto& status = controller_->legacyAppStatus();
  return {status.applicationURL, status.isRunning, status.runningProcesses};
}
bool SetupWindowControllerAdapter::isQuittingLegacyApp() const {
  return controller_->isQuittingLegacyApp();
}
const std::optional<std::string>& SetupWindowControllerAdapter::legacyAppQuitError() const {
  return controller_->legacyAppQuitError();
}
bool SetupWindowControllerAdapter::isInitialSetupComplete() const {
  return controller_->isInitialSetupComplete();
}
bool SetupWindowControllerAdapter::isDemoModeOn() const {
  return controller_->isDemoModeOn();
}
bool SetupWindowControllerAdapter::isScanning() const {
  return controller_->isScanning();
}
bool SetupWindowControllerAdapter::isProtectedShareStopping() const {
  return controller_->isProtectedShareStopping();
}
bool SetupWindowControllerAdapter::isProtectedShareHealthy() const {
  return controller_->isProtectedShareHealthy();
}
bool SetupWindowControllerAdapter::isProtectedSharePreparing() const {
  return controller_->isProtectedSharePreparing();
}
model::MenuBarAccessState SetupWindowControllerAdapter::menuBarAccessState() const {
  return controller_->menuBarAccessState();
}
const std::vector<model::ProtectedApp>& SetupWindowControllerAdapter::protectedApps() const {
  return controller_->protectedApps();
}
bool SetupWindowControllerAdapter::isInstalledApplication(const std::string& id) const {
  return controller_->isInstalledApplication(id);
}
void SetupWindowControllerAdapter::setSelectedSettingsSection(model::SettingsSection section) {
  controller_->setSelectedSettingsSection(section);
}
void SetupWindowControllerAdapter::refreshLegacyAppMigrationStatus(bool presentReviewIfNeeded) {
  controller_->refreshLegacyAppMigrationStatus(presentReviewIfNeeded);
}
void SetupWindowControllerAdapter::requestScreenRecordingPermission() {
  controller_->requestScreenRecordingPermission();
}
std::optional<std::string> SetupWindowControllerAdapter::openScreenRecordingSettings() {
  return app::openScreenRecordingSettings(*controller_, settingsOpener_.get());
}
const std::optional<model::SettingsStoreProblem>& SetupWindowControllerAdapter::settingsReset()
    const {
  return controller_->settingsReset();
}
bool SetupWindowControllerAdapter::completeInitialSetup() {
  return controller_->completeInitialSetup();
}
void SetupWindowControllerAdapter::openProtectedShareWindow() {
  controller_->openProtectedShareWindow();
}
void SetupWindowControllerAdapter::toggleDemoMode() {
  controller_->toggleDemoMode();
}
void SetupWindowControllerAdapter::retryProtectedShare() {
  controller_->retryProtectedShare();
}
runtime::Task<void> SetupWindowControllerAdapter::quitPreviousCopy() {
  return controller_->quitPreviousCopy();
}
void SetupWindowControllerAdapter::revealInFileManager(const std::filesystem::path& path) {
  if (fileRevealer_) fileRevealer_->reveal(path);
}

SettingsWindowControllerAdapter::SettingsWindowControllerAdapter(
    std::shared_ptr<CorvaneController> controller,
    std::shared_ptr<platform::SettingsOpener> settingsOpener)
    : controller_(std::move(controller)), settingsOpener_(std::move(settingsOpener)) {}

runtime::Subscription SettingsWindowControllerAdapter::observeChanges(
    std::function<void()> observer) {
  return controller_->observeChanges(std::move(observer));
}
model::SettingsSection SettingsWindowControllerAdapter::selectedSettingsSection() const {
  return controller_->selectedSettingsSection();
}
void SettingsWindowControllerAdapter::setSelectedSettingsSection(model::SettingsSection section) {
  controller_->setSelectedSettingsSection(section);
}
bool SettingsWindowControllerAdapter::isProtectedShareHealthy() const {
  return controller_->isProtectedShareHealthy();
}
bool SettingsWindowControllerAdapter::isDemoModeOn() const {
  return controller_->isDemoModeOn();
}
const std::vector<model::ProtectedApp>& SettingsWindowControllerAdapter::protectedApps() const {
  return controller_->protectedApps();
}
const std::optional<std::string>& SettingsWindowControllerAdapter::protectedAppImportError() const {
  return controller_->protectedAppImportError();
}
std::optional<std::string> SettingsWindowControllerAdapter::applicationIndexPollingReason() const {
  return controller_->applicationIndexPollingReason();
}
void SettingsWindowControllerAdapter::clearProtectedAppImportError() {
  controller_->clearProtectedAppImportError();
}
void SettingsWindowControllerAdapter::chooseProtectedApplications() {
  controller_->chooseProtectedApplications();
}
void SettingsWindowControllerAdapter::setProtectedApp(const std::string& id, bool isEnabled) {
  controller_->setProtectedApp(id, isEnabled);
}
void SettingsWindowControllerAdapter::removeProtectedApp(const std::string& id) {
  controller_->removeProtectedApp(id);
}
void SettingsWindowControllerAdapter::restoreDefaultProtectedApps() {
  controller_->restoreDefaultProtectedApps();
}
const std::vector<model::SensitiveRule>& SettingsWindowControllerAdapter::sensitiveRules() const {
  return controller_->sensitiveRules();
}
void SettingsWindowControllerAdapter::setSensitiveRule(model::SensitiveKind kind, bool isEnabled) {
  controller_->setSensitiveRule(kind, isEnabled);
}
const std::string& SettingsWindowControllerAdapter::alwaysHideWords() const {
  return controller_->alwaysHideWords();
}
const std::string& SettingsWindowControllerAdapter::neverHideWords() const {
  return controller_->neverHideWords();
}
void SettingsWindowControllerAdapter::setAlwaysHideWords(std::string words) {
  controller_->setAlwaysHideWords(std::move(words));
}
void SettingsWindowControllerAdapter::setNeverHideWords(std::string words) {
  controller_->setNeverHideWords(std::move(words));
}
bool SettingsWindowControllerAdapter::screenRecordingPermissionGranted() const {
  return controller_->screenRecordingPermissionGranted();
}
const std::optional<std::string>& SettingsWindowControllerAdapter::lastScanError() const {
  return controller_->lastScanError();
}
void SettingsWindowControllerAdapter::requestScreenRecordingPermission() {
  controller_->requestScreenRecordingPermission();
}
std::optional<std::string> SettingsWindowControllerAdapter::openScreenRecordingSettings() {
  return app::openScreenRecordingSettings(*controller_, settingsOpener_.get());
}
void SettingsWindowControllerAdapter::refreshScreenRecordingPermission() {
  controller_->refreshScreenRecordingPermission();
}
void SettingsWindowControllerAdapter::restartCorvane() {
  controller_->restartCorvane();
}
const model::ProtectionOptions& SettingsWindowControllerAdapter::protectionOptions() const {
  return controller_->protectionOptions();
}
const std::vector<model::CaptureDisplay>&
SettingsWindowControllerAdapter::availableCaptureDisplays() const {
  return controller_->availableCaptureDisplays();
}
std::string SettingsWindowControllerAdapter::selectedCaptureDisplayName() const {
  return controller_->selectedCaptureDisplayName();
}
void SettingsWindowControllerAdapter::setCaptureDisplay(std::optional<std::uint32_t> id) {
  controller_->setCaptureDisplay(id);
}
void SettingsWindowControllerAdapter::refreshCaptureDisplays() {
  controller_->refreshCaptureDisplays();
}
void SettingsWindowControllerAdapter::setHideDesktopIcons(bool value) {
  controller_->setHideDesktopIcons(value);
}
void SettingsWindowControllerAdapter::setRemindToSilenceNotifications(bool value) {
  controller_->setRemindToSilenceNotifications(value);
}
std::optional<std::string> SettingsWindowControllerAdapter::openFocusSettings() {
  if (settingsOpener_ && NotificationGuard{}.openFocusSettings(*settingsOpener_)) {
    return std::nullopt;
  }
  return std::string(NotificationGuard::kNothingToOpenText);
}
const std::optional<std::string>& SettingsWindowControllerAdapter::settingsSaveError() const {
  return controller_->settingsSaveError();
}
const std::optional<std::string>& SettingsWindowControllerAdapter::diagnosticsExportError() const {
  return controller_->diagnosticsExportError();
}
const std::optional<std::string>& SettingsWindowControllerAdapter::updateCheckMessage() const {
  return controller_->updateCheckMessage();
}
std::vector<model::HealthItem> SettingsWindowControllerAdapter::healthItems() const {
  return controller_->healthItems();
}
model::ProtectedShareMetrics SettingsWindowControllerAdapter::protectedShareMetrics() const {
  return controller_->liveProtectedShareMetrics();
}
runtime::Subscription SettingsWindowControllerAdapter::observeMetricsChanges(
    std::function<void()> observer) {
  return controller_->observeMetricsChanges(std::move(observer));
}
const std::optional<std::filesystem::path>& SettingsWindowControllerAdapter::diagnosticsExportURL()
    const {
  return controller_->diagnosticsExportURL();
}
void SettingsWindowControllerAdapter::exportDiagnostics() {
  controller_->exportDiagnostics();
}
void SettingsWindowControllerAdapter::revealDiagnosticsExport() {
  controller_->revealDiagnosticsExport();
}
const model::ProductionConfiguration& SettingsWindowControllerAdapter::productionConfiguration()
    const {
  return controller_->productionConfiguration();
}
const std::optional<std::filesystem::path>& SettingsWindowControllerAdapter::verifiedUpdateURL()
    const {
  return controller_->verifiedUpdateURL();
}
void SettingsWindowControllerAdapter::checkForUpdates() {
  controller_->checkForUpdates();
}
void SettingsWindowControllerAdapter::installVerifiedUpdate() {
  controller_->installVerifiedUpdate();
}

}  // namespace corvane::app
