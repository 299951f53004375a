#include "platform/linux/desktop_session.h"

#include <cstdlib>
#include <string_view>

namespace corvane::platform {
namespace {

DesktopKind kindOfName(std::string_view name) {
  if (name == "GNOME" || name == "Unity" || name == "GNOME-Classic" || name == "GNOME-Flashback") {
    return DesktopKind::gnome;
  }
  if (name == "X-Cinnamon" || name == "Cinnamon") return DesktopKind::cinnamon;
  if (name == "MATE") return DesktopKind::mate;
  if (name == "XFCE") return DesktopKind::xfce;
  if (name == "KDE") return DesktopKind::kde;
  return DesktopKind::unknown;
}

}  // namespace

DesktopKind desktopKindFrom(const std::string& xdgCurrentDesktop) {
  std::string_view rest(xdgCurrentDesktop);
  while (true) {
    const auto colon = rest.find(':');
    const auto kind = kindOfName(rest.substr(0, colon));
    if (kind != DesktopKind::unknown) return kind;
    if (colon == std::string_view::npos) return DesktopKind::unknown;
    rest.remove_prefix(colon + 1);
  }
}

std::string currentDesktopVariable() {
  const char* value = std::getenv("XDG_CURRENT_DESKTOP");
  return value != nullptr ? std::string(value) : std::string();
}

}  // namespace corvane::platform
