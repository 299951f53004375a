#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/linux/desktop_session.h"
#include "platform/settings_opener.h"

namespace corvane::platform {

// A settings program and its arguments, started as an argument array.
struct SettingsCommand {
  std::string program;
  std::vector<std::string> arguments;
};

// The command that opens this desktop's notification settings; absent when we know none.
std::optional<SettingsCommand> notificationSettingsCommand(DesktopKind desktop);

// Starts the desktop's own settings programs, found on the search path, without waiting.
class DesktopSettingsOpener final : public SettingsOpener {
 public:
  DesktopSettingsOpener(DesktopKind desktop, std::string searchPath);

  bool openNotificationSettings() override;
  // X11 has no screen-capture permission pane: always false.
  bool openScreenCaptureSettings() override { return false; }

 private:
  DesktopKind desktop_;
  std::string searchPath_;
};

}  // namespace corvane::platform
