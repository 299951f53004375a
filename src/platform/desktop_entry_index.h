#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop_entry.h"

namespace corvane::platform {

// The application entries of the XDG application directories: what identifies a window's
// application and what names and draws an excluded application. Earlier directories win over
// later ones for the same id, as the desktop does.
class DesktopEntryIndex {
 public:
  // The XDG application directories, the user's first (WellKnownFolders), then Flatpak's exported
  // applications (the user's, then the system's) where the data directories do not list them.
  static std::vector<std::filesystem::path> applicationDirectories();
  // Every visible Type=Application entry of the directories, read once.
  static DesktopEntryIndex load(const std::vector<std::filesystem::path>& directories);
  // The visible application entry with desktop-file id `id`, read now from the first directory
  // that holds it ("kde-org.kde.App" is also looked for as "kde/org.kde.App.desktop"). Touches
  // only the few files the id can name.
  static std::optional<DesktopEntry> find(const std::string& id,
                                          const std::vector<std::filesystem::path>& directories);

  std::optional<DesktopEntry> byId(const std::string& id) const;
  // The entry whose StartupWMClass is `windowClass`, else one whose id (or its last dotted
  // part) equals it ignoring case.
  std::optional<DesktopEntry> forWindowClass(const std::string& windowClass) const;
  // Every entry that claims a window of class `windowClass`: each whose StartupWMClass equals it
  // ignoring case, and each whose id (or its last dotted part) does. In id order.
  std::vector<std::string> idsClaimingWindowClass(const std::string& windowClass) const;
  // Every entry whose Exec= starts what a process runs (DesktopEntry::startsCommand), in id order.
  // Looks at every entry: for the few processes whose launch cannot be read otherwise.
  std::vector<std::string> idsStartingCommand(const std::vector<std::string>& commandLine,
                                              const std::filesystem::path& executable) const;
  std::size_t size() const { return entries_.size(); }
  // Every entry, by id.
  std::vector<DesktopEntry> entries() const;

 private:
  std::map<std::string, DesktopEntry> entries_;
};

// Where the desktop entries of the running session come from: a fixed index, or one kept current
// as the application directories change. Safe to call from any thread.
class DesktopEntrySource {
 public:
  virtual ~DesktopEntrySource() = default;
  // The entries as they are now: a new index (another pointer) after every change.
  virtual std::shared_ptr<const DesktopEntryIndex> current() = 0;
};

// An index that never changes.
class FixedDesktopEntries final : public DesktopEntrySource {
 public:
  explicit FixedDesktopEntries(std::shared_ptr<const DesktopEntryIndex> entries)
      : entries_(std::move(entries)) {}
  std::shared_ptr<const DesktopEntryIndex> current() override { return entries_; }

 private:
  std::shared_ptr<const DesktopEntryIndex> entries_;
};

// "kde/org.kde.App.desktop" -> "kde-org.kde.App"
std::string desktopIdForRelativePath(const std::filesystem::path& relative);
// The desktop id of an entry file known by its path alone (as a launcher records it): relative to
// the applications folder it lies in ("/usr/share/applications/kde/org.kde.App.desktop" gives
// "kde-org.kde.App"), else its file name without ".desktop".
std::string desktopIdOfEntryFile(const std::filesystem::path& file);

}  // namespace corvane::platform
