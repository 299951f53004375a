#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/desktop_entry.h"

namespace corvane::platform {

// What tells one version of a file from another: it changes when the file is written, replaced
// (a new inode) or edited in place, even when the edit keeps its size and modification time.
struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modifiedNanoseconds = 0;
  std::int64_t changedNanoseconds = 0;
  bool operator==(const FileStamp&) const = default;
};

// One entry file below the application directories, as a walk of them finds it.
struct DesktopEntryFile {
  std::filesystem::path path;
  std::size_t directory = 0;  // which of the walked directories holds it
  std::string id;
  FileStamp stamp;
  bool operator==(const DesktopEntryFile&) const = default;
};

// Every ".desktop" file of the directories (their subfolders to four levels, links followed),
// the first directory's first, each with its stamp: two walks give equal lists exactly when no
// entry file was added, removed, replaced or changed in between.
std::vector<DesktopEntryFile> listDesktopEntryFiles(
    const std::vector<std::filesystem::path>& directories);

// An application entry as indexes keep it, with the keys it is looked up by: read once and shared
// by every index made while its file stays the same.
struct IndexedDesktopEntry {
  IndexedDesktopEntry(std::string id, DesktopEntry entry);
  std::string id;
  DesktopEntry entry;
  std::string foldedId;            // the id in lower case
  std::string foldedLastPart;      // its part after the last dot, in lower case; empty without
  std::string foldedStartupClass;  // StartupWMClass in lower case
  // The file name of the program Exec= starts ("vault" for "env A=1 /opt/vault/bin/vault %u");
  // empty when it names none.
  std::string programName;
  // That program as Exec= writes it ("/opt/vault/bin/vault"); empty when it names none or names
  // an interpreter, a shell or a launcher: the entries that share it are modules of one program.
  std::string sharedProgram;
};

// The application entries of the XDG application directories: what identifies a window's
// application and what names and draws an excluded application. Earlier directories win over
// later ones for the same id, as the desktop does. Once made it never changes; every look-up
// is a hash look-up, whatever the number of entries.
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

  DesktopEntryIndex() = default;
  // The entries, each listed once under its id.
  explicit DesktopEntryIndex(std::vector<std::shared_ptr<const IndexedDesktopEntry>> entries);

  std::optional<DesktopEntry> byId(const std::string& id) const;
  // The entry whose StartupWMClass is `windowClass`, else one whose id (or its last dotted
  // part) equals it ignoring case.
  std::optional<DesktopEntry> forWindowClass(const std::string& windowClass) const;
  // Every entry that claims a window of class `windowClass`: each whose StartupWMClass equals it
  // ignoring case, and each whose id (or its last dotted part) does. In id order.
  std::vector<std::string> idsClaimingWindowClass(const std::string& windowClass) const;
  // Every entry whose Exec= starts a program of that file name, in id order: the few entries
  // that may have launched a process running it.
  std::vector<std::string> idsStartingProgram(const std::string& fileName) const;
  // Every entry whose Exec= starts what a process runs (DesktopEntry::startsCommand), in id order:
  // looked for among the entries starting a program of the command's or the executable's name.
  // A script its interpreter runs counts as its program (DesktopEntry::startsCommand).
  std::vector<std::string> idsStartingCommand(
      const std::vector<std::string>& commandLine, const std::filesystem::path& executable,
      const std::optional<InterpretedScript>& script = std::nullopt) const;
  // Every other entry whose Exec= starts the program of entry `id` with other arguments
  // (DesktopEntry::sharesProgramWith), in id order.
  std::vector<std::string> idsSharingProgramWith(const std::string& id) const;
  std::size_t size() const { return entries_.size(); }
  // The entry with id `id` as indexed, null when none.
  const IndexedDesktopEntry* indexed(const std::string& id) const;
  // The entries, as they were, that left the directories while the reader that made this index
  // read them: removed, renamed, hidden or changed in what they claim (their StartupWMClass or
  // Exec=). Null when none did.
  const std::shared_ptr<const DesktopEntryIndex>& former() const { return former_; }
  // Every entry, by id.
  std::vector<DesktopEntry> entries() const;

 private:
  // In no order. The tables below point into them (keys included).
  std::vector<std::shared_ptr<const IndexedDesktopEntry>> entries_;
  std::unordered_map<std::string_view, const IndexedDesktopEntry*> byId_;
  // Every entry that claims a class, by the class in lower case: through its StartupWMClass, its
  // id or the last dotted part of its id.
  std::unordered_multimap<std::string_view, const IndexedDesktopEntry*> claims_;
  // Every entry by the program file name its Exec= starts.
  std::unordered_multimap<std::string_view, const IndexedDesktopEntry*> byProgram_;
  // Every entry by its sharedProgram.
  std::unordered_multimap<std::string_view, const IndexedDesktopEntry*> bySharedProgram_;
  std::shared_ptr<const DesktopEntryIndex> former_;
  friend class DesktopEntryReader;
};

// Reads the entry files of the application directories into indexes, reading again only the
// files that changed since the last index it made: an index of many entries is made again in
// the time of a walk of the folders when few of them changed. It remembers the entries that
// left (DesktopEntryIndex::former) for as long as it lives: an entry goes on claiming what it
// claimed, so a copy of an application started after an update removed or renamed its entry is
// still known by it.
class DesktopEntryReader {
 public:
  // `files` as listDesktopEntryFiles gives them for `directories`.
  std::shared_ptr<const DesktopEntryIndex> index(
      const std::vector<DesktopEntryFile>& files,
      const std::vector<std::filesystem::path>& directories);

 private:
  struct Read {
    FileStamp stamp;
    std::shared_ptr<const IndexedDesktopEntry> entry;  // null: not a visible application entry
    std::uint64_t walk = 0;                            // the last walk that found the file
  };
  // Takes in an entry that left; the former entries are indexed anew when the walk ends.
  void depart(const std::shared_ptr<const IndexedDesktopEntry>& entry);

  std::unordered_map<std::string, Read> reads_;
  std::uint64_t walks_ = 0;
  std::vector<std::shared_ptr<const IndexedDesktopEntry>> departed_;
  bool departedSinceIndexed_ = false;
  std::shared_ptr<const DesktopEntryIndex> former_;
};

// Where the desktop entries of the running session come from: a fixed index, or one kept current
// as the application directories change. Safe to call from any thread.
class DesktopEntrySource {
 public:
  virtual ~DesktopEntrySource() = default;
  // The entries as they are now: a new index (another pointer) after every change. Costs a
  // pointer copy.
  virtual std::shared_ptr<const DesktopEntryIndex> current() = 0;
  // Why changes to the directories are found by looking at them again and again rather than
  // reported as they happen (file watches ran out, say); empty while they are reported.
  virtual std::optional<std::string> pollingReason() const { return std::nullopt; }
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
