// The settings and maintenance actions: permissions and the watch after a request, protection
// options, the capture display, diagnostics export and reveal, updates, excluded applications and
// restarting.
#include <algorithm>

#include "app/corvane_controller.h"
#include "app/system_settings_links.h"
#include "model/diagnostic_reporter.h"
#include "model/protected_application_catalog.h"
#include "operations/update_manager.h"
#include "platform/desktop_entry_index.h"
#include "runtime/main_actor.h"

namespace corvane::app {
namespace {

constexpr const char* kScreenRecordingGrantedMessage =
    "Screen Recording is granted. Restart Corvane if Protected Share still asks for access.";
constexpr const char* kSettingsOpenedMessage =
    "Settings opened. Corvane will detect the permission when you return.";
constexpr const char* kScreenRecordingEnabledMessage = "Screen Recording permission is enabled";
constexpr const char* kAccessibilityEnabledMessage = "Accessibility text access is enabled";
constexpr const char* kPermissionNotVisibleMessage =
    "Permission not visible yet. Restart Corvane after granting Screen Recording.";
constexpr const char* kRehostFailedMessage =
    "Protected Share could not move to the selected display.";
constexpr const char* kUpdateChannelNotConfiguredMessage =
    "Secure update channel is not configured";

// The application entries the open panel starts in, and the folders beside it.
constexpr const char* kSystemApplicationsFolder = "/usr/share/applications";
// Flatpak's exported entries: of system-wide installs, and of the user's, under the user's data
// folder.
constexpr const char* kSystemFlatpakApplications = "/var/lib/flatpak/exports/share/applications";
constexpr const char* kUserFlatpakApplications = "flatpak/exports/share/applications";

std::string rejectionLine(const model::ProtectedAppImportRejection& rejection) {
  using Reason = model::ProtectedAppImportRejection::Reason;
  switch (rejection.reason) {
    case Reason::invalidApplicationBundle:
      return rejection.name + " isn\u2019t a valid application.";
    case Reason::selfApplication:
      return rejection.name + " is Corvane and cannot exclude itself.";
  }
  return rejection.name;
}

}  // namespace

// ---- Permissions --------------------------------------------------------------------------------

void CorvaneController::requestScreenRecordingPermission() {
  runtime::assertMainActor();
  auto& permissions = *services_.desktop.permissions;
  screenRecordingPermissionGranted_.set(permissions.requestScreenCapture());
  screenRecordingPermissionRequestPending_.set(!*screenRecordingPermissionGranted_);
  if (*screenRecordingPermissionGranted_) {
    statusMessage_.set(kScreenRecordingGrantedMessage);
  } else {
    // Where the desktop has no pane to grant it in, its own reason says what to do instead.
    const bool opened = services_.settingsOpener &&
                        ScreenCapturePermissionManager::openSettings(*services_.settingsOpener);
    statusMessage_.set(
        opened ? std::string(kSettingsOpenedMessage)
               : permissions.screenCaptureDenialReason().value_or(kSettingsOpenedMessage));
    cancelTask(permissionObservationTask_);
    permissionObservationTask_ = runtime::spawn(runPermissionObservation(weak_from_this()));
  }
  record("screen_recording_permission_requested",
         {{"granted", model::diagnosticFlag(*screenRecordingPermissionGranted_)},
          {"restartMayBeRequired", "true"}});
}

runtime::Task<void> CorvaneController::runPermissionObservation(
    std::weak_ptr<CorvaneController> weakSelf) {
  for (int pass = 0; pass < kPermissionObservationPasses; ++pass) {
    co_await runtime::sleep(kPermissionObservationInterval);
    if (co_await runtime::isCancelled()) co_return;
    auto self = weakSelf.lock();
    if (!self) co_return;
    self->refreshPermissionStates("settings_permission_observer", false);
    if (!*self->screenRecordingPermissionRequestPending_ &&
        !*self->accessibilityPermissionRequestPending_) {
      co_return;
    }
  }
}

void CorvaneController::refreshPermissionStates(const std::string& reason, bool announce) {
  runtime::assertMainActor();
  const bool hadScreenRecording = *screenRecordingPermissionGranted_;
  const bool hadAccessibility = *accessibilityPermissionGranted_;
  const auto& permissions = *services_.desktop.permissions;
  screenRecordingPermissionGranted_.set(permissions.screenCapturePreflight());
  accessibilityPermissionGranted_.set(permissions.accessibilityTrusted());
  if (*screenRecordingPermissionGranted_) screenRecordingPermissionRequestPending_.set(false);
  if (*accessibilityPermissionGranted_) accessibilityPermissionRequestPending_.set(false);
  const bool changed = hadScreenRecording != *screenRecordingPermissionGranted_ ||
                       hadAccessibility != *accessibilityPermissionGranted_;
  if (!changed && !announce) return;
  if (*accessibilityPermissionGranted_ && !hadAccessibility) {
    statusMessage_.set(kAccessibilityEnabledMessage);
  } else if (*screenRecordingPermissionGranted_ && !hadScreenRecording) {
    statusMessage_.set(kScreenRecordingEnabledMessage);
  }
  record("permissions_refreshed",
         {{"reason", reason},
          {"screenRecording", model::diagnosticFlag(*screenRecordingPermissionGranted_)},
          {"accessibility", model::diagnosticFlag(*accessibilityPermissionGranted_)}});
}

void CorvaneController::refreshScreenRecordingPermission() {
  runtime::assertMainActor();
  refreshPermissionStates("manual_screen_recording_refresh", true);
  if (*screenRecordingPermissionGranted_) {
    statusMessage_.set(kScreenRecordingEnabledMessage);
  } else {
    statusMessage_.set(services_.desktop.permissions->screenCaptureDenialReason().value_or(
        kPermissionNotVisibleMessage));
  }
}

// ---- Protection options and the capture display -------------------------------------------------

void CorvaneController::setHideDesktopIcons(bool value) {
  runtime::assertMainActor();
  auto options = *protectionOptions_;
  options.hideDesktopIcons = value;
  setProtectionOptions(std::move(options));
}

void CorvaneController::setRemindToSilenceNotifications(bool value) {
  runtime::assertMainActor();
  auto options = *protectionOptions_;
  options.remindToSilenceNotifications = value;
  setProtectionOptions(std::move(options));
}

void CorvaneController::setCaptureDisplay(std::optional<std::uint32_t> id) {
  runtime::assertMainActor();
  auto options = *protectionOptions_;
  options.selectedDisplayID = id;
  setProtectionOptions(std::move(options));
  if (*isDemoModeOn_) {
    if (!protectedShareWindowManager_->beginSession(shared_from_this(), id)) {
      protectedShareEngine_->setPublishingPaused(true);
      sealWorkspaceAfterProtectedShareFailure(kRehostFailedMessage,
                                              "protected_share_output_rehost_failed");
      return;
    }
    // The re-hosted window is unmapped and unshared until a frame makes it live again: the frame
    // already held does so at once, whatever the size of the next one.
    liveFramePixelSize_.reset();
    handleRenderedFrame(*protectedShareEngine_->renderedFrame);
    pushProtectedShareCaptureConfigurationIfRunning();
  }
  statusMessage_.set("Protected Share source set to " + selectedCaptureDisplayName());
  refreshSourceGuard();
  refreshPresenterControlBar();
  record("capture_display_selected", {{"display", id ? std::to_string(*id) : "main"}});
}

// ---- Diagnostics --------------------------------------------------------------------------------

void CorvaneController::exportDiagnostics() {
  runtime::assertMainActor();
  auto& diagnostics =
      services_.diagnostics ? *services_.diagnostics : model::DiagnosticReporter::shared();
  auto exported = diagnostics.exportDiagnostics();
  if (exported) {
    diagnosticsExportError_.set(std::nullopt);
    diagnosticsExportURL_.set(exported.value());
    statusMessage_.set("Diagnostics exported");
  } else {
    // An earlier export's result would read as this one's.
    diagnosticsExportURL_.set(std::nullopt);
    diagnosticsExportError_.set(exported.message());
    lastScanError_.set(exported.message());
    statusMessage_.set("Could not export diagnostics");
  }
}

void CorvaneController::revealDiagnosticsExport() {
  runtime::assertMainActor();
  if (!*diagnosticsExportURL_ || !services_.fileRevealer) return;
  services_.fileRevealer->reveal(**diagnosticsExportURL_);
}

// ---- Updates ------------------------------------------------------------------------------------

void CorvaneController::checkForUpdates() {
  runtime::assertMainActor();
  // A second check would race the first for the same download folder and status line.
  if (isCheckingForUpdates_) return;
  isCheckingForUpdates_ = true;
  runtime::spawn(runUpdateCheck(shared_from_this()));
}

runtime::Task<void> CorvaneController::runUpdateCheck(std::shared_ptr<CorvaneController> self) {
  self->statusMessage_.set(self->productionConfiguration_->isUpdateConfigured()
                               ? "Checking for updates"
                               : kUpdateChannelNotConfiguredMessage);
  self->updateCheckMessage_.set(*self->statusMessage_);
  operations::UpdateCheckResult result =
      operations::UpdateCheckResult::unavailable(operations::update_reasons::kNotConfigured);
  if (self->services_.updateManager) {
    result = co_await self->services_.updateManager->checkForUpdates();
  }
  if (const auto* available = result.available()) {
    self->verifiedUpdateURL_.set(available->packageURL);
  } else {
    self->verifiedUpdateURL_.set(std::nullopt);
  }
  self->statusMessage_.set(result.message());
  self->updateCheckMessage_.set(result.message());
  self->record("update_check_requested",
               {{"configured",
                 model::diagnosticFlag(self->productionConfiguration_->isUpdateConfigured())}});
  self->isCheckingForUpdates_ = false;
}

void CorvaneController::installVerifiedUpdate() {
  runtime::assertMainActor();
  if (isInstallingVerifiedUpdate_) return;
  if (!*verifiedUpdateURL_) {
    statusMessage_.set("No verified update is ready");
    return;
  }
  isInstallingVerifiedUpdate_ = true;
  runtime::spawn(runVerifiedUpdateInstall(shared_from_this(), **verifiedUpdateURL_));
}

runtime::Task<void> CorvaneController::runVerifiedUpdateInstall(
    std::shared_ptr<CorvaneController> self, std::filesystem::path packageURL) {
  runtime::Status started = runtime::Status::failure(operations::update_reasons::kNotConfigured);
  if (self->services_.updateManager) {
    // Verifying and unpacking a large archive takes a while: it runs on the manager's queue.
    started = co_await self->services_.updateManager->installVerifiedUpdateInBackground(
        packageURL, self->services_.bundle->root);
  }
  self->isInstallingVerifiedUpdate_ = false;
  if (!started) {
    self->lastScanError_.set(started.message());
    self->statusMessage_.set("Could not start verified update install");
    self->record("verified_update_install_failed");
    co_return;
  }
  self->statusMessage_.set("Installing verified update");
  self->record("verified_update_install_started");
  if (self->services_.terminateApplication) self->services_.terminateApplication();
}

// ---- Excluded applications ----------------------------------------------------------------------

void CorvaneController::setProtectedApp(const std::string& id, bool isEnabled) {
  runtime::assertMainActor();
  auto apps = *protectedApps_;
  const auto entry =
      std::find_if(apps.begin(), apps.end(), [&](const auto& app) { return app.id == id; });
  if (entry == apps.end()) return;
  entry->isEnabled = isEnabled;
  setProtectedApps(std::move(apps));
  record("protected_app_toggled",
         {{"bundleID", id}, {"enabled", model::diagnosticFlag(isEnabled)}});
}

std::vector<std::filesystem::path> CorvaneController::applicationDirectories() const {
  auto folders = services_.systemApplicationDirectories;
  auto add = [&folders](const std::filesystem::path& folder) {
    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
      folders.push_back(folder);
    }
  };
  if (const auto& user = services_.userApplicationDirectory) {
    add(*user);
    add(user->parent_path() / kUserFlatpakApplications);
  }
  add(kSystemFlatpakApplications);
  return folders;
}

void CorvaneController::chooseProtectedApplications() {
  runtime::assertMainActor();
  if (!services_.dialogs) return;
  platform::OpenPanel panel;
  panel.title = "Add Excluded Apps";
  panel.message = "Choose one or more apps to keep out of Protected Share.";
  panel.prompt = "Add";
  panel.nameFilters = {"*.desktop"};
  panel.allowsMultipleSelection = true;
  panel.startingDirectory = kSystemApplicationsFolder;
  const auto folders = applicationDirectories();
  for (const auto& folder : folders) {
    std::error_code error;
    if (folder != panel.startingDirectory && std::filesystem::is_directory(folder, error)) {
      panel.sideDirectories.push_back(folder);
    }
  }
  // The installed applications by name, Corvane itself left out.
  const auto own = services_.bundle->bundleIdentifier();
  for (auto& entry : platform::DesktopEntryIndex::load(folders).entries()) {
    if (own && entry.id == *own) continue;
    panel.applications.push_back({std::move(entry.name), std::move(entry.icon), entry.path});
  }
  if (auto chosen = services_.dialogs->runOpenPanel(panel)) addProtectedApplications(*chosen);
}

void CorvaneController::addProtectedApplications(const std::vector<std::filesystem::path>& urls) {
  runtime::assertMainActor();
  std::set<std::string> ownIdentifiers;
  if (const auto own = services_.bundle->bundleIdentifier()) ownIdentifiers.insert(*own);
  auto result = model::ProtectedApplicationCatalog::importApplications(
      urls, *protectedApps_, ownIdentifiers, applicationDirectories());
  if (result.apps != *protectedApps_) setProtectedApps(std::move(result.apps));
  std::string lines;
  for (const auto& rejection : result.rejections) {
    if (!lines.empty()) lines += '\n';
    lines += rejectionLine(rejection);
  }
  if (result.droppedForLimitCount > 0) {
    if (!lines.empty()) lines += '\n';
    lines += "Excluded Apps holds at most " +
             std::to_string(model::ProtectedApplicationCatalog::maximumCount) +
             " apps: " + std::to_string(result.droppedForLimitCount) +
             (result.droppedForLimitCount == 1 ? " app was" : " apps were") + " not added.";
  }
  protectedAppImportError_.set(lines.empty() ? std::nullopt : std::optional(std::move(lines)));
  record("protected_apps_imported",
         {{"added", std::to_string(result.addedCount)},
          {"reenabled", std::to_string(result.reenabledCount)},
          {"rejected", std::to_string(result.rejections.size() + result.droppedForLimitCount)}});
}

void CorvaneController::removeProtectedApp(const std::string& id) {
  runtime::assertMainActor();
  auto apps = *protectedApps_;
  const auto entry =
      std::find_if(apps.begin(), apps.end(), [&](const auto& app) { return app.id == id; });
  if (entry == apps.end()) return;
  const std::string name = entry->name;
  std::erase_if(apps, [&](const auto& app) { return app.id == id; });
  setProtectedApps(std::move(apps));
  record("protected_app_removed", {{"bundleID", id}, {"name", name}});
}

void CorvaneController::restoreDefaultProtectedApps() {
  runtime::assertMainActor();
  setProtectedApps(model::ProtectedApp::defaults());
  record("protected_apps_defaults_restored",
         {{"apps", std::to_string(model::ProtectedApp::defaults().size())}});
}

// ---- Restarting ---------------------------------------------------------------------------------

void CorvaneController::restartCorvane() {
  runtime::assertMainActor();
  auto relaunched = services_.relauncher
                        ? services_.relauncher->relaunch()
                        : runtime::Status::failure("No way to start Corvane again is set up.");
  if (!relaunched) {
    // Quitting now would leave the user with no Corvane at all.
    statusMessage_.set("Corvane could not restart: " + relaunched.message());
    record("restart_failed", {{"error", relaunched.message()}});
    return;
  }
  if (services_.terminateApplication) services_.terminateApplication();
}

}  // namespace corvane::app
