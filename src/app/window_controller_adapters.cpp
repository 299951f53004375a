#include "app/window_controller_adapters.h"

#include "app/corvane_controller.h"
#include "app/system_settings_links.h"

namespace corvane::app {

SetupWindowControllerAdapter::SetupWindowControllerAdapter(
    std::shared_ptr<CorvaneController> controller,
    std::shared_ptr<platform::SettingsOpener> settingsOpener,
    std::shared_ptr<platform::FileRevealer> fileRevealer)
    : controller_(std::move(controller)),
      settingsOpener_(std::move(settingsOpener)),
      fileRevealer_(std::move(fileRevealer)) {}

runtime::Subscription SetupWindowControllerAdapter::observeChanges(
    std::function<void()> observer) {
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
  return {status.applicationURL, status.isRunning};
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
void SetupWindowControllerAdapter::setSelectedSettingsSection(model::SettingsSection section) {
  controller_->setSelectedSettingsSection(section);
}
void SetupWindowControllerAdapter::refreshLegacyAppMigrationStatus(bool presentReviewIfNeeded) {
  controller_->refreshLegacyAppMigrationStatus(presentReviewIfNeeded);
}
void SetupWindowControllerAdapter::requestScreenRecordingPermission() {
  controller_->requestScreenRecordingPermission();
}
// Where the desktop has no such settings (X11 grants capture with the session), the permission
// request says why capture is refused instead.
void SetupWindowControllerAdapter::openScreenRecordingSettings() {
  if (settingsOpener_ && ScreenCapturePermissionManager::openSettings(*settingsOpener_)) return;
  controller_->requestScreenRecordingPermission();
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
    std::shared_ptr<CorvaneController> controller)
    : controller_(std::move(controller)) {}

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
const std::optional<std::string>& SettingsWindowControllerAdapter::protectedAppImportError()
    const {
  return controller_->protectedAppImportError();
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

}  // namespace corvane::app
