#pragma once

namespace corvane::platform {

// Opens a pane of the desktop's own settings application.
class SettingsOpener {
 public:
  virtual ~SettingsOpener() = default;
  // The notification settings; false when this desktop has none we can start.
  virtual bool openNotificationSettings() = 0;
  // The screen-capture permission's settings; false where the desktop has no such pane (on X11
  // capture is not a permission the user can grant there: the caller explains the denial instead).
  virtual bool openScreenCaptureSettings() = 0;
};

}  // namespace corvane::platform
