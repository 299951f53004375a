#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop_icon_preference.h"
#include "platform/settings_opener.h"

namespace corvane::platform::sim {

// A desktop-icon setting the test can inspect: it keeps the explicit value (absent after a
// reset) and fails every write while a failure is scripted.
class SimDesktopIconPreference final : public DesktopIconPreference {
 public:
  std::string desktopName() const override { return "Simulated"; }
  runtime::Status setShowsDesktopIcons(bool shows) override;
  runtime::Status resetShowsDesktopIcons() override;

  void setFailure(std::optional<std::string> message);
  std::optional<bool> explicitValue() const;
  // "show", "hide" or "reset" for every write asked for, failed ones included.
  std::vector<std::string> writes() const;

 private:
  mutable std::mutex mutex_;
  std::optional<bool> value_;
  std::optional<std::string> failure_;
  std::vector<std::string> writes_;
};

// Settings panes the test can inspect: counts what was opened; the notification settings open
// unless told otherwise, and there is never a screen-capture pane (as on X11).
class SimSettingsOpener final : public SettingsOpener {
 public:
  bool openNotificationSettings() override;
  bool openScreenCaptureSettings() override;

  void setOpensNotificationSettings(bool opens);
  int notificationSettingsOpened() const;
  int screenCaptureSettingsRequests() const;

 private:
  mutable std::mutex mutex_;
  bool opensNotifications_ = true;
  int notificationsOpened_ = 0;
  int screenCaptureRequests_ = 0;
};

}  // namespace corvane::platform::sim
