#include "platform/sim/sim_desktop_settings.h"

namespace corvane::platform::sim {

runtime::Status SimDesktopIconPreference::setShowsDesktopIcons(bool shows) {
  std::lock_guard lock(mutex_);
  writes_.push_back(shows ? "show" : "hide");
  if (failure_) return runtime::Status::failure(*failure_);
  value_ = shows;
  return runtime::Status::success();
}

runtime::Status SimDesktopIconPreference::resetShowsDesktopIcons() {
  std::lock_guard lock(mutex_);
  writes_.push_back("reset");
  if (failure_) return runtime::Status::failure(*failure_);
  value_.reset();
  return runtime::Status::success();
}

void SimDesktopIconPreference::setFailure(std::optional<std::string> message) {
  std::lock_guard lock(mutex_);
  failure_ = std::move(message);
}

std::optional<bool> SimDesktopIconPreference::explicitValue() const {
  std::lock_guard lock(mutex_);
  return value_;
}

std::vector<std::string> SimDesktopIconPreference::writes() const {
  std::lock_guard lock(mutex_);
  return writes_;
}

bool SimSettingsOpener::openNotificationSettings() {
  std::lock_guard lock(mutex_);
  if (!opensNotifications_) return false;
  ++notificationsOpened_;
  return true;
}

bool SimSettingsOpener::openScreenCaptureSettings() {
  std::lock_guard lock(mutex_);
  ++screenCaptureRequests_;
  return false;
}

void SimSettingsOpener::setOpensNotificationSettings(bool opens) {
  std::lock_guard lock(mutex_);
  opensNotifications_ = opens;
}

int SimSettingsOpener::notificationSettingsOpened() const {
  std::lock_guard lock(mutex_);
  return notificationsOpened_;
}

int SimSettingsOpener::screenCaptureSettingsRequests() const {
  std::lock_guard lock(mutex_);
  return screenCaptureRequests_;
}

}  // namespace corvane::platform::sim
