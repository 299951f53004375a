#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::platform {

// An application's unit as desktop launchers name it for the service manager:
// "app[-<launcher>]-<desktop id>-<random>.scope" or "app[-<launcher>]-<desktop
// id>[@<random>].service", the id escaped as unit names are ("-" written "\x2d"); and the service
// the bus starts for an application it activates, "dbus-:<connection>-<desktop id>@<n>.service"
// (its launcher "dbus").
struct LaunchUnit {
  std::string launcher;  // "gnome", "flatpak", ...; empty when the name has none
  // The desktop id the name most likely holds first, then every other reading of a name that
  // left its dashes unescaped ("app-vault-editor-7.scope": "editor", then "vault-editor").
  std::vector<std::string> desktopIds;
};

// The launch units named along one cgroup path, innermost last; none when it holds none.
std::vector<LaunchUnit> launchUnitsInCgroupPath(std::string_view path);

// Every cgroup path of a /proc/<pid>/cgroup text ("<hierarchy>:<controllers>:<path>" lines).
std::vector<std::string_view> cgroupPaths(std::string_view cgroupText);

}  // namespace corvane::platform
