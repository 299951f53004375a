#include "platform/linux/tool_desktop_icon_preference.h"

#include "platform/process.h"
#include "platform/program_path.h"

namespace corvane::platform {
namespace {

DesktopIconTool gsettingsTool(std::string desktopName, const std::string& schema,
                              const std::string& key) {
  return DesktopIconTool{std::move(desktopName),
                         "gsettings",
                         {"set", schema, key, "true"},
                         {"set", schema, key, "false"},
                         {"reset", schema, key}};
}

}  // namespace

std::optional<DesktopIconTool> desktopIconTool(DesktopKind desktop) {
  switch (desktop) {
    case DesktopKind::gnome:
      return gsettingsTool("GNOME", "org.gnome.desktop.background", "show-desktop-icons");
    case DesktopKind::cinnamon:
      return gsettingsTool("Cinnamon", "org.nemo.desktop", "show-desktop-icons");
    case DesktopKind::mate:
      return gsettingsTool("MATE", "org.mate.background", "show-desktop-icons");
    case DesktopKind::xfce: {
      // Xfce keeps a style: 0 draws no icons, 2 draws the folder's files (its default).
      const std::vector<std::string> property{"-c", "xfce4-desktop", "-p", "/desktop-icons/style"};
      auto with = [&](std::vector<std::string> tail) {
        auto arguments = property;
        arguments.insert(arguments.end(), tail.begin(), tail.end());
        return arguments;
      };
      return DesktopIconTool{"Xfce", "xfconf-query", with({"-n", "-t", "int", "-s", "2"}),
                             with({"-n", "-t", "int", "-s", "0"}), with({"-r"})};
    }
    case DesktopKind::kde:
    case DesktopKind::unknown:
      return std::nullopt;
  }
  return std::nullopt;
}

ToolDesktopIconPreference::ToolDesktopIconPreference(DesktopIconTool tool, double timeoutSeconds,
                                                     std::string searchPath)
    : tool_(std::move(tool)), timeoutSeconds_(timeoutSeconds), searchPath_(std::move(searchPath)) {}

runtime::Status ToolDesktopIconPreference::setShowsDesktopIcons(bool shows) {
  return run(shows ? tool_.showArguments : tool_.hideArguments);
}

runtime::Status ToolDesktopIconPreference::resetShowsDesktopIcons() {
  return run(tool_.resetArguments);
}

runtime::Status ToolDesktopIconPreference::run(const std::vector<std::string>& arguments) const {
  const auto program = findProgram(tool_.program, searchPath_);
  if (!program) {
    return runtime::Status::failure(tool_.program + " is not installed, so the " +
                                    tool_.desktopName + " desktop-icon setting cannot be changed.");
  }
  const auto output = runProcess(ProcessRequest{*program, arguments, {}, {}}, timeoutSeconds_);
  if (!output) return runtime::Status::failure(output.message());
  if (output->exitStatus != 0) {
    std::string message =
        tool_.program + " failed with status " + std::to_string(output->exitStatus);
    if (!output->standardError.empty()) message += ": " + output->standardError;
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
      message.pop_back();
    }
    return runtime::Status::failure(message + ".");
  }
  return runtime::Status::success();
}

std::shared_ptr<DesktopIconPreference> makeSessionDesktopIconPreference(double timeoutSeconds) {
  const auto tool = desktopIconTool(desktopKindFrom(currentDesktopVariable()));
  if (!tool) return nullptr;
  return std::make_shared<ToolDesktopIconPreference>(*tool, timeoutSeconds, programSearchPath());
}

}  // namespace corvane::platform
