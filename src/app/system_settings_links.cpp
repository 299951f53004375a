#include "app/system_settings_links.h"

namespace corvane::app {

bool ScreenCapturePermissionManager::openSettings(platform::SettingsOpener& opener) {
  return opener.openScreenCaptureSettings();
}

bool NotificationGuard::openFocusSettings(platform::SettingsOpener& opener) const {
  return opener.openNotificationSettings();
}

}  // namespace corvane::app
