#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace corvane::platform::x11 {

// One application entry of the XDG application directories.
struct DesktopEntry {
  std::string id;  // "org.example.App" for .../applications/org.example.App.desktop
  std::string name;
  std::string startupWMClass;
  std::filesystem::path path;
};

// The application entries of the XDG data directories, read once. Earlier directories win
// over later ones for the same id, as the desktop does.
class DesktopEntryIndex {
 public:
  // The XDG application directories, the user's first (WellKnownFolders).
  static std::vector<std::filesystem::path> applicationDirectories();
  static DesktopEntryIndex load(const std::vector<std::filesystem::path>& directories);

  std::optional<DesktopEntry> byId(const std::string& id) const;
  // The entry whose StartupWMClass is `windowClass`, else one whose id (or its last dotted
  // part) equals it ignoring case.
  std::optional<DesktopEntry> forWindowClass(const std::string& windowClass) const;
  std::size_t size() const { return entries_.size(); }

 private:
  std::map<std::string, DesktopEntry> entries_;
};

// The application entry in one file's text; absent unless it is a valid, visible
// Type=Application entry.
std::optional<DesktopEntry> parseDesktopEntry(const std::string& text);

// "kde/org.kde.App.desktop" -> "kde-org.kde.App"
std::string desktopIdForRelativePath(const std::filesystem::path& relative);

}  // namespace corvane::platform::x11
