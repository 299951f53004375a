#include "platform/launch_units.h"

#include <charconv>
#include <optional>

namespace corvane::platform {
namespace {

// Undoes the "\xNN" escapes of a unit name.
std::string unescapedUnitText(std::string_view text) {
  std::string plain;
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned value = 0;
    if (text.substr(i).starts_with("\\x") && i + 4 <= text.size()) {
      const auto* digits = text.data() + i + 2;
      const auto [end, error] = std::from_chars(digits, digits + 2, value, 16);
      if (error == std::errc{} && end == digits + 2) {
        plain.push_back(static_cast<char>(value));
        i += 3;
        continue;
      }
    }
    plain.push_back(text[i]);
  }
  return plain;
}

// A service the bus started for a name it was asked for (D-Bus activation):
// "dbus-:<bus>.<connection>-<name>@<n>.service"; the name is the application's desktop id.
std::optional<LaunchUnit> busActivatedUnitNamed(std::string_view name) {
  constexpr std::string_view prefix = "dbus-:", service = ".service";
  if (!name.starts_with(prefix) || !name.ends_with(service)) return std::nullopt;
  std::string_view body = name.substr(prefix.size());
  body.remove_suffix(service.size());
  // The connection that asked (":1.42") holds no dash.
  const auto dash = body.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  body = body.substr(dash + 1);
  body = body.substr(0, body.find('@'));
  if (body.empty()) return std::nullopt;
  return LaunchUnit{"dbus", {unescapedUnitText(body)}};
}

std::optional<LaunchUnit> launchUnitNamed(std::string_view name) {
  constexpr std::string_view prefix = "app-", scope = ".scope", service = ".service";
  if (!name.starts_with(prefix)) return busActivatedUnitNamed(name);
  std::string_view body = name.substr(prefix.size());
  if (body.ends_with(scope)) {
    body.remove_suffix(scope.size());
    // The random part after the last dash tells one launch from another.
    const auto dash = body.rfind('-');
    if (dash == std::string_view::npos) return std::nullopt;
    body = body.substr(0, dash);
  } else if (body.ends_with(service)) {
    body.remove_suffix(service.size());
    body = body.substr(0, body.find('@'));
  } else {
    return std::nullopt;
  }
  if (body.empty()) return std::nullopt;
  LaunchUnit unit;
  const auto dash = body.find('-');
  if (dash != std::string_view::npos && dash + 1 < body.size()) {
    unit.launcher = unescapedUnitText(body.substr(0, dash));
    unit.desktopIds.push_back(unescapedUnitText(body.substr(dash + 1)));
  }
  // Without a launcher, or with an id whose dashes were left as they are, the whole is the id.
  unit.desktopIds.push_back(unescapedUnitText(body));
  if (unit.desktopIds.size() == 1) unit.launcher.clear();
  return unit;
}

}  // namespace

std::vector<LaunchUnit> launchUnitsInCgroupPath(std::string_view path) {
  std::vector<LaunchUnit> units;
  while (!path.empty()) {
    const auto slash = path.find('/');
    const auto part = path.substr(0, slash);
    if (auto unit = launchUnitNamed(part)) units.push_back(std::move(*unit));
    path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
  }
  return units;
}

std::vector<std::string_view> cgroupPaths(std::string_view cgroupText) {
  std::vector<std::string_view> paths;
  while (!cgroupText.empty()) {
    const auto end = cgroupText.find('\n');
    const auto line = cgroupText.substr(0, end);
    cgroupText.remove_prefix(end == std::string_view::npos ? cgroupText.size() : end + 1);
    const auto first = line.find(':');
    const auto second = first == std::string_view::npos ? first : line.find(':', first + 1);
    if (second != std::string_view::npos) paths.push_back(line.substr(second + 1));
  }
  return paths;
}

}  // namespace corvane::platform
