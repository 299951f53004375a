#include "platform/linux/desktop_settings_opener.h"

#include "platform/process.h"
#include "platform/program_path.h"

namespace corvane::platform {

std::optional<SettingsCommand> notificationSettingsCommand(DesktopKind desktop) {
  switch (desktop) {
    case DesktopKind::gnome:
      return SettingsCommand{"gnome-control-center", {"notifications"}};
    case DesktopKind::cinnamon:
      return SettingsCommand{"cinnamon-settings", {"notifications"}};
    case DesktopKind::mate:
      return SettingsCommand{"mate-notification-properties", {}};
    case DesktopKind::xfce:
      return SettingsCommand{"xfce4-notifyd-config", {}};
    case DesktopKind::kde:
      return SettingsCommand{"systemsettings", {"kcm_notifications"}};
    case DesktopKind::unknown:
      return std::nullopt;
  }
  return std::nullopt;
}

DesktopSettingsOpener::DesktopSettingsOpener(DesktopKind desktop, std::string searchPath)
    : desktop_(desktop), searchPath_(std::move(searchPath)) {}

bool DesktopSettingsOpener::openNotificationSettings() {
  const auto command = notificationSettingsCommand(desktop_);
  if (!command) return false;
  const auto program = findProgram(command->program, searchPath_);
  if (!program) return false;
  return launchDetachedProcess(ProcessRequest{*program, command->arguments, {}, {}}).ok();
}

}  // namespace corvane::platform
