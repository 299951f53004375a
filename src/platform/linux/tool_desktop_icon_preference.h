#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/desktop_icon_preference.h"
#include "platform/linux/desktop_session.h"

namespace corvane::platform {

// The command lines that read and write one desktop's desktop-icon setting.
struct DesktopIconTool {
  std::string desktopName;
  std::string program;  // looked up on the search path
  std::vector<std::string> showArguments;
  std::vector<std::string> hideArguments;
  std::vector<std::string> resetArguments;
};

// The tool for a desktop: gsettings keys for GNOME, Cinnamon (Nemo) and MATE (Caja), xfconf for
// Xfce; absent for a desktop whose setting we do not know.
std::optional<DesktopIconTool> desktopIconTool(DesktopKind desktop);

// Writes the setting by running the desktop's tool, killed after `timeoutSeconds` so a hung tool
// cannot hold up launch. A tool that cannot be found, fails or times out is an error.
class ToolDesktopIconPreference final : public DesktopIconPreference {
 public:
  ToolDesktopIconPreference(DesktopIconTool tool, double timeoutSeconds, std::string searchPath);

  std::string desktopName() const override { return tool_.desktopName; }
  runtime::Status setShowsDesktopIcons(bool shows) override;
  runtime::Status resetShowsDesktopIcons() override;

 private:
  runtime::Status run(const std::vector<std::string>& arguments) const;

  DesktopIconTool tool_;
  double timeoutSeconds_;
  std::string searchPath_;
};

// The preference of this session's desktop ($XDG_CURRENT_DESKTOP), or nullptr on a desktop we do
// not know.
std::shared_ptr<DesktopIconPreference> makeSessionDesktopIconPreference(double timeoutSeconds);

}  // namespace corvane::platform
