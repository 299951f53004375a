#include "platform/desktop_entry_index.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <unordered_set>

#include "platform/files.h"

namespace corvane::platform {
namespace {

// Entry files are read from subfolders this deep (and the files of the folders at this depth).
constexpr int kDeepestEntryFolder = 4;

FileStamp stampOf(const struct stat& status) {
  auto nanoseconds = [](const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
  };
  return FileStamp{static_cast<std::uint64_t>(status.st_dev),
                   static_cast<std::uint64_t>(status.st_ino),
                   static_cast<std::int64_t>(status.st_size), nanoseconds(status.st_mtim),
                   nanoseconds(status.st_ctim)};
}

// Adds the entry files of an open folder (`relative` below the directory, "" or ending in "/")
// and of its subfolders to `files`; closes the folder. Links to folders are not followed, links
// to files are.
void listEntryFiles(int folder, const std::filesystem::path& directory, const std::string& relative,
                    int depth, std::size_t directoryIndex, std::vector<DesktopEntryFile>& files) {
  DIR* listing = fdopendir(folder);
  if (listing == nullptr) {
    ::close(folder);
    return;
  }
  while (const dirent* child = readdir(listing)) {
    const std::string_view name = child->d_name;
    if (name == "." || name == "..") continue;
    bool isFolder = child->d_type == DT_DIR;
    if (child->d_type == DT_UNKNOWN) {
      struct stat status {};
      isFolder = fstatat(folder, child->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
                 S_ISDIR(status.st_mode);
    }
    if (isFolder) {
      if (depth > kDeepestEntryFolder) continue;
      const int inner =
          openat(folder, child->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (inner >= 0) {
        listEntryFiles(inner, directory, relative + std::string(name) + "/", depth + 1,
                       directoryIndex, files);
      }
      continue;
    }
    if (name.size() <= 8 || !name.ends_with(".desktop")) continue;
    struct stat status {};
    if (fstatat(folder, child->d_name, &status, 0) != 0 || !S_ISREG(status.st_mode)) continue;
    const std::string path = relative + std::string(name);
    files.push_back(DesktopEntryFile{directory / path, directoryIndex,
                                     desktopIdForRelativePath(path), stampOf(status)});
  }
  closedir(listing);
}

std::string lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The entry files an id can name below one directory: the id itself, then with its leading
// dashes turned into subfolders one by one ("a-b-c": "a-b-c", "a/b-c", "a/b/c").
std::vector<std::filesystem::path> candidateFiles(const std::string& id) {
  std::vector<std::filesystem::path> files{id + ".desktop"};
  std::string relative = id;
  for (auto dash = relative.find('-'); dash != std::string::npos;
       dash = relative.find('-', dash + 1)) {
    relative[dash] = '/';
    files.emplace_back(relative + ".desktop");
  }
  return files;
}

}  // namespace

std::string desktopIdForRelativePath(const std::filesystem::path& relative) {
  std::string id = relative.generic_string();
  if (id.size() > 8 && id.ends_with(".desktop")) id.resize(id.size() - 8);
  std::replace(id.begin(), id.end(), '/', '-');
  return id;
}

std::string desktopIdOfEntryFile(const std::filesystem::path& file) {
  const std::string generic = file.generic_string();
  constexpr std::string_view folder = "/applications/";
  const auto applications = generic.rfind(folder);
  if (applications != std::string::npos) {
    return desktopIdForRelativePath(generic.substr(applications + folder.size()));
  }
  return desktopIdForRelativePath(file.filename());
}

std::vector<std::filesystem::path> DesktopEntryIndex::applicationDirectories() {
  const auto folders = WellKnownFolders::fromEnvironment();
  auto directories = folders.applicationDirectories;
  // Flatpak lists its exports in XDG_DATA_DIRS through a login script that not every session
  // runs: an application installed from it is known all the same.
  for (const auto& exported :
       {folders.dataHome / "flatpak/exports/share/applications",
        std::filesystem::path("/var/lib/flatpak/exports/share/applications")}) {
    if (std::find(directories.begin(), directories.end(), exported) == directories.end()) {
      directories.push_back(exported);
    }
  }
  return directories;
}

std::vector<DesktopEntryFile> listDesktopEntryFiles(
    const std::vector<std::filesystem::path>& directories) {
  std::vector<DesktopEntryFile> files;
  for (std::size_t index = 0; index < directories.size(); ++index) {
    const int folder = ::open(directories[index].c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) listEntryFiles(folder, directories[index], "", 0, index, files);
  }
  return files;
}

DesktopEntryIndex DesktopEntryIndex::load(const std::vector<std::filesystem::path>& directories) {
  DesktopEntryReader reader;
  return *reader.index(listDesktopEntryFiles(directories), directories);
}

IndexedDesktopEntry::IndexedDesktopEntry(std::string id, DesktopEntry entry)
    : id(std::move(id)), entry(std::move(entry)), foldedId(lowercase(this->id)) {
  const auto dot = foldedId.rfind('.');
  if (dot != std::string::npos) foldedLastPart = foldedId.substr(dot + 1);
  foldedStartupClass = lowercase(this->entry.startupWMClass);
  const auto words = this->entry.execWords();
  const std::size_t program = DesktopEntry::programIndex(words);
  if (program < words.size())
    programName = std::filesystem::path(words[program]).filename().string();
  if (!programName.empty() && !isProgramRunner(programName)) sharedProgram = words[program];
}

DesktopEntryIndex::DesktopEntryIndex(
    std::vector<std::shared_ptr<const IndexedDesktopEntry>> entries)
    : entries_(std::move(entries)) {
  byId_.reserve(entries_.size());
  byProgram_.reserve(entries_.size());
  claims_.reserve(entries_.size() * 2);
  for (const auto& shared : entries_) {
    const IndexedDesktopEntry* indexed = shared.get();
    byId_.emplace(indexed->id, indexed);
    if (!indexed->programName.empty()) byProgram_.emplace(indexed->programName, indexed);
    if (!indexed->sharedProgram.empty()) bySharedProgram_.emplace(indexed->sharedProgram, indexed);
    claims_.emplace(indexed->foldedId, indexed);
    const auto& lastPart = indexed->foldedLastPart;
    const auto& startupClass = indexed->foldedStartupClass;
    if (!startupClass.empty() && startupClass != indexed->foldedId) {
      claims_.emplace(startupClass, indexed);
    }
    if (!lastPart.empty() && lastPart != indexed->foldedId && lastPart != startupClass) {
      claims_.emplace(lastPart, indexed);
    }
  }
}

std::shared_ptr<const DesktopEntryIndex> DesktopEntryReader::index(
    const std::vector<DesktopEntryFile>& files,
    const std::vector<std::filesystem::path>& directories) {
  const std::uint64_t walk = ++walks_;
  std::vector<std::shared_ptr<const IndexedDesktopEntry>> entries;
  std::unordered_set<std::string_view> ids;
  ids.reserve(files.size());
  for (const auto& file : files) {
    if (ids.count(file.id) != 0) continue;
    auto [known, added] = reads_.try_emplace(file.path.native());
    Read& read = known->second;
    if (added || read.stamp != file.stamp) {
      read.stamp = file.stamp;
      const auto earlier = std::move(read.entry);
      read.entry.reset();
      auto entry = loadDesktopEntry(file.path, {directories[file.directory]});
      if (entry && entry->isApplication()) {
        read.entry = std::make_shared<const IndexedDesktopEntry>(file.id, std::move(entry.value()));
      }
      const bool claimsAlike = earlier && read.entry && earlier->id == read.entry->id &&
                               earlier->entry.startupWMClass == read.entry->entry.startupWMClass &&
                               earlier->entry.exec == read.entry->entry.exec;
      if (earlier && !claimsAlike) depart(earlier);
    }
    read.walk = walk;
    if (!read.entry) continue;
    // The same file below two of the directories (one inside the other) has two ids.
    entries.push_back(read.entry->id == file.id ? read.entry
                                                : std::make_shared<const IndexedDesktopEntry>(
                                                      file.id, read.entry->entry));
    ids.insert(entries.back()->id);
  }
  std::erase_if(reads_, [&](const auto& known) {
    if (known.second.walk == walk) return false;
    if (known.second.entry) depart(known.second.entry);
    return true;
  });
  if (departedSinceIndexed_) {
    former_ = std::make_shared<const DesktopEntryIndex>(departed_);
    departedSinceIndexed_ = false;
  }
  auto index = std::make_shared<DesktopEntryIndex>(std::move(entries));
  index->former_ = former_;
  return index;
}

void DesktopEntryReader::depart(const std::shared_ptr<const IndexedDesktopEntry>& entry) {
  // Past so many the oldest are forgotten: an application removed long ago.
  constexpr std::size_t kMostDeparted = 4096;
  if (departed_.size() >= kMostDeparted) departed_.erase(departed_.begin());
  departed_.push_back(entry);
  departedSinceIndexed_ = true;
}

std::vector<DesktopEntry> DesktopEntryIndex::entries() const {
  std::vector<DesktopEntry> all;
  all.reserve(entries_.size());
  for (const auto& indexed : entries_) all.push_back(indexed->entry);
  std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
  return all;
}

std::optional<DesktopEntry> DesktopEntryIndex::find(
    const std::string& id, const std::vector<std::filesystem::path>& directories) {
  if (id.empty() || id.find('/') != std::string::npos || id.starts_with('.')) return std::nullopt;
  const auto files = candidateFiles(id);
  for (const auto& directory : directories) {
    for (const auto& file : files) {
      const auto path = directory / file;
      std::error_code error;
      if (!std::filesystem::is_regular_file(path, error)) continue;
      auto entry = loadDesktopEntry(path, {directory});
      // The first file found for the id decides: a hidden entry hides the later ones.
      if (!entry || entry->id != id) continue;
      if (!entry->isApplication()) return std::nullopt;
      return std::move(entry.value());
    }
  }
  return std::nullopt;
}

const IndexedDesktopEntry* DesktopEntryIndex::indexed(const std::string& id) const {
  const auto found = byId_.find(id);
  return found == byId_.end() ? nullptr : found->second;
}

std::optional<DesktopEntry> DesktopEntryIndex::byId(const std::string& id) const {
  auto it = byId_.find(id);
  if (it == byId_.end()) return std::nullopt;
  return it->second->entry;
}

std::optional<DesktopEntry> DesktopEntryIndex::forWindowClass(
    const std::string& windowClass) const {
  if (windowClass.empty()) return std::nullopt;
  const std::string wanted = lowercase(windowClass);
  const auto [first, last] = claims_.equal_range(wanted);
  // Of the entries that claim the class: the first in id order whose StartupWMClass is the class
  // as written, else whose id is it, else whose id ends in it.
  const IndexedDesktopEntry* best = nullptr;
  auto rank = [&](const IndexedDesktopEntry& indexed) {
    if (indexed.entry.startupWMClass == windowClass) return 0;
    if (indexed.foldedId == wanted) return 1;
    if (indexed.foldedLastPart == wanted) return 2;
    return 3;  // by its StartupWMClass in another case: not what this look-up goes by
  };
  for (auto it = first; it != last; ++it) {
    const auto& candidate = *it->second;
    const int candidateRank = rank(candidate);
    if (candidateRank == 3) continue;
    if (best == nullptr || candidateRank < rank(*best) ||
        (candidateRank == rank(*best) && candidate.id < best->id)) {
      best = &candidate;
    }
  }
  if (best == nullptr) return std::nullopt;
  return best->entry;
}

namespace {

// The ids of the entries a multimap lists under `key`, in id order.
template <class Table>
std::vector<std::string> idsUnder(const Table& table, const std::string& key) {
  std::vector<std::string> ids;
  if (key.empty()) return ids;
  const auto [first, last] = table.equal_range(key);
  for (auto it = first; it != last; ++it) ids.push_back(it->second->id);
  std::sort(ids.begin(), ids.end());
  return ids;
}

}  // namespace

std::vector<std::string> DesktopEntryIndex::idsClaimingWindowClass(
    const std::string& windowClass) const {
  return idsUnder(claims_, lowercase(windowClass));
}

std::vector<std::string> DesktopEntryIndex::idsStartingProgram(const std::string& fileName) const {
  return idsUnder(byProgram_, fileName);
}

std::vector<std::string> DesktopEntryIndex::idsStartingCommand(
    const std::vector<std::string>& commandLine, const std::filesystem::path& executable,
    const std::optional<InterpretedScript>& script) const {
  std::vector<std::string> candidates;
  auto addStarting = [&](const std::filesystem::path& program) {
    auto more = idsStartingProgram(program.filename());
    candidates.insert(candidates.end(), more.begin(), more.end());
  };
  if (!commandLine.empty()) addStarting(commandLine.front());
  if (!executable.empty()) addStarting(executable);
  if (script) addStarting(script->path);
  std::sort(candidates.begin(), candidates.end());
  candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
  std::vector<std::string> ids;
  for (const auto& id : candidates) {
    const auto found = byId_.find(id);
    if (found != byId_.end() &&
        found->second->entry.startsCommand(commandLine, executable, script)) {
      ids.push_back(id);
    }
  }
  return ids;
}

std::vector<std::string> DesktopEntryIndex::idsSharingProgramWith(const std::string& id) const {
  const auto* entry = indexed(id);
  std::vector<std::string> ids;
  if (entry == nullptr || entry->sharedProgram.empty()) return ids;
  const auto [first, last] = bySharedProgram_.equal_range(entry->sharedProgram);
  for (auto it = first; it != last; ++it) {
    if (it->second != entry && entry->entry.sharesProgramWith(it->second->entry)) {
      ids.push_back(it->second->id);
    }
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

}  // namespace corvane::platform
