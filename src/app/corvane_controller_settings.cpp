#include <algorithm>

#include "app/capture_display_list.h"
#include "app/corvane_controller.h"
#include "model/preferences_store.h"
#include "model/protected_application_catalog.h"
#include "runtime/main_actor.h"

namespace corvane::app {

using model::PreferencesStore;

void CorvaneController::setProtectedApps(std::vector<model::ProtectedApp> apps) {
  runtime::assertMainActor();
  protectedApps_.set(std::move(apps));
  // The list is published as given and stored cleaned up.
  PreferencesStore::save(*services_.settings,
                         model::ProtectedApplicationCatalog::normalized(*protectedApps_),
                         PreferencesStore::protectedAppsKey);
  pushProtectedShareCaptureConfigurationIfRunning();
}

void CorvaneController::setSensitiveRules(std::vector<model::SensitiveRule> rules) {
  runtime::assertMainActor();
  sensitiveRules_.set(std::move(rules));
  PreferencesStore::save(*services_.settings, *sensitiveRules_,
                         PreferencesStore::sensitiveRulesKey);
}

void CorvaneController::setAlwaysHideWords(std::string words) {
  runtime::assertMainActor();
  alwaysHideWords_.set(std::move(words));
  services_.settings->set(kAlwaysHideWordsKey, platform::Value(*alwaysHideWords_));
}

void CorvaneController::setNeverHideWords(std::string words) {
  runtime::assertMainActor();
  neverHideWords_.set(std::move(words));
  services_.settings->set(kNeverHideWordsKey, platform::Value(*neverHideWords_));
}

void CorvaneController::setProtectionOptions(model::ProtectionOptions options) {
  runtime::assertMainActor();
  protectionOptions_.set(std::move(options));
  PreferencesStore::save(*services_.settings, *protectionOptions_,
                         PreferencesStore::protectionOptionsKey);
  pushProtectedShareCaptureConfigurationIfRunning();
}

void CorvaneController::setSelectedSettingsSection(model::SettingsSection section) {
  runtime::assertMainActor();
  selectedSettingsSection_.set(section);
}

void CorvaneController::setMenuBarAccessState(model::MenuBarAccessState state) {
  runtime::assertMainActor();
  menuBarAccessState_.set(state);
}

void CorvaneController::clearProtectedAppImportError() {
  runtime::assertMainActor();
  protectedAppImportError_.set(std::nullopt);
}

std::set<std::string> CorvaneController::enabledProtectedAppIDs() const {
  std::set<std::string> identifiers;
  for (const auto& app : *protectedApps_) {
    if (app.isEnabled) identifiers.insert(app.id);
  }
  return identifiers;
}

bool CorvaneController::isInstalledApplication(const std::string& id) const {
  return !services_.applicationEntries || services_.applicationEntries(id).has_value();
}

int CorvaneController::installedCount(const std::set<std::string>& ids) const {
  return static_cast<int>(std::count_if(ids.begin(), ids.end(), [this](const std::string& id) {
    return isInstalledApplication(id);
  }));
}

int CorvaneController::enabledInstalledProtectedAppCount() const {
  return installedCount(enabledProtectedAppIDs());
}

int CorvaneController::enabledMissingProtectedAppCount() const {
  return static_cast<int>(enabledProtectedAppIDs().size()) - enabledInstalledProtectedAppCount();
}

void CorvaneController::pushProtectedShareCaptureConfigurationIfRunning() {
  if (!model::isActive(*protectedShareEngine_->phase)) return;
  refreshSourceGuard();
  const auto& options = *protectionOptions_;
  protectedShareEngine_->updateCaptureConfiguration(
      enabledProtectedAppIDs(), options.hideDesktopIcons, {}, options.selectedDisplayID);
}

void CorvaneController::refreshCaptureDisplays() {
  runtime::assertMainActor();
  availableCaptureDisplays_.set(captureDisplays(services_.desktop.screens->screens()));
  const auto selected = protectionOptions_->selectedDisplayID;
  if (selected && !listsDisplay(*availableCaptureDisplays_, *selected)) {
    if (isSessionUnderWay()) {
      // Forgetting the choice now would move the running capture to the main display without
      // a word: the session is sealed instead, and the choice forgotten once it has stopped.
      sealForLostSelectedDisplay(*selected);
    } else {
      auto options = *protectionOptions_;
      options.selectedDisplayID.reset();
      setProtectionOptions(std::move(options));
    }
  }
  refreshSourceGuard();
}

void CorvaneController::sealForLostSelectedDisplay(std::uint32_t displayID) {
  if (lostSelectedDisplayID_ == displayID) return;  // sealed for it already
  lostSelectedDisplayID_ = displayID;
  sealWorkspaceAfterProtectedShareFailure(kSelectedDisplayLostMessage,
                                          "protected_share_selected_display_lost");
}

void CorvaneController::forgetLostDisplayChoiceOnceStopped() {
  if (!lostSelectedDisplayID_ || isSessionUnderWay() || *isProtectedShareStopping_) return;
  const auto lost = *lostSelectedDisplayID_;
  lostSelectedDisplayID_.reset();
  if (protectionOptions_->selectedDisplayID != lost) return;   // the user chose again meanwhile
  if (listsDisplay(*availableCaptureDisplays_, lost)) return;  // it came back
  auto options = *protectionOptions_;
  options.selectedDisplayID.reset();
  setProtectionOptions(std::move(options));
}

void CorvaneController::noteSettingsStoreProblem(model::SettingsStoreProblem problem) {
  runtime::assertMainActor();
  using Kind = model::SettingsStoreProblem::Kind;
  if (problem.kind == Kind::savedAgain) {
    if (!settingsSaveError_->has_value()) return;
    const auto failure = model::SettingsStoreProblem{Kind::notSaved, **settingsSaveError_, {}};
    settingsSaveError_.set(std::nullopt);
    // The failure's sentence gives way, unless something else has been said since.
    if (*statusMessage_ == failure.sentence()) statusMessage_.set(problem.sentence());
    return;
  }
  // Said once per problem: every change that cannot be saved notes the same one again.
  const bool isNew = problem.kind == Kind::notSaved ? *settingsSaveError_ != problem.reason
                                                    : *settingsReset_ != problem;
  if (!isNew) return;
  statusMessage_.set(problem.sentence());
  if (problem.kind == Kind::notSaved) {
    settingsSaveError_.set(problem.reason);
  } else {
    settingsReset_.set(std::move(problem));
  }
}

}  // namespace corvane::app
