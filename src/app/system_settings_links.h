#pragma once

#include "platform/settings_opener.h"

namespace corvane::app {

// Opens the screen-capture permission's settings. Returns false where the desktop has none (X11:
// capture is allowed or refused by the session itself), and the caller shows the permission's
// own denial reason instead.
struct ScreenCapturePermissionManager {
  static bool openSettings(platform::SettingsOpener& opener);
};

// Sends the user to the desktop's notification settings, to silence them before a demo.
struct NotificationGuard {
  // False when this desktop has no notification settings we can start.
  bool openFocusSettings(platform::SettingsOpener& opener) const;
};

}  // namespace corvane::app
