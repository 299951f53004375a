#pragma once

#include "platform/settings_opener.h"

namespace corvane::app {

// Opens the screen-capture permission's settings. Returns false where the desktop has none (X11:
// capture is allowed or refused by the session itself), and the caller shows the permission's
// own denial reason instead.
struct ScreenCapturePermissionManager {
  // Shown where the button is when capture is allowed and there is nothing to open.
  static constexpr const char* kNothingToOpenText =
      "This desktop has no screen-capture permission to review: Corvane can already capture "
      "the display.";

  static bool openSettings(platform::SettingsOpener& opener);
};

// Sends the user to the desktop's notification settings, to silence them before a demo.
struct NotificationGuard {
  // Shown where the button is when there is no such settings application to start.
  static constexpr const char* kNothingToOpenText =
      "Corvane cannot open Do Not Disturb settings on this desktop. Turn on Do Not Disturb "
      "from your desktop's notification area or panel before you share.";

  // False when this desktop has no notification settings we can start.
  bool openFocusSettings(platform::SettingsOpener& opener) const;
};

}  // namespace corvane::app
