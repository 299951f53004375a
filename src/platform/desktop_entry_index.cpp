#include "platform/desktop_entry_index.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

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
    const auto& directory = directories[index];
    std::error_code error;
    if (!std::filesystem::is_directory(directory, error)) continue;
    auto options = std::filesystem::directory_options::skip_permission_denied;
    for (auto it = std::filesystem::recursive_directory_iterator(directory, options, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
      if (it.depth() > kDeepestEntryFolder) it.disable_recursion_pending();
      const auto& path = it->path();
      if (path.extension() != ".desktop") continue;
      struct stat status {};
      if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) continue;
      files.push_back(DesktopEntryFile{path, index,
                                       desktopIdForRelativePath(path.lexically_relative(directory)),
                                       stampOf(status)});
    }
  }
  return files;
}

DesktopEntryIndex DesktopEntryIndex::load(const std::vector<std::filesystem::path>& directories) {
  DesktopEntryReader reader;
  return *reader.index(listDesktopEntryFiles(directories), directories);
}

DesktopEntryIndex::DesktopEntryIndex(
    std::map<std::string, std::shared_ptr<const DesktopEntry>> entries)
    : entries_(std::move(entries)) {
  byId_.reserve(entries_.size());
  // In id order, so that the first id to take a key is the smallest.
  for (const auto& [id, entry] : entries_) {
    byId_.emplace(id, entry.get());
    const std::string folded = lowercase(id);
    const auto dot = id.rfind('.');
    const std::string lastPart = dot == std::string::npos ? std::string() : folded.substr(dot + 1);
    if (!entry->startupWMClass.empty()) byStartupClass_.emplace(entry->startupWMClass, id);
    byFoldedId_.emplace(folded, id);
    if (dot != std::string::npos) byFoldedLastPart_.emplace(lastPart, id);
    std::vector<std::string> keys{folded};
    for (const auto& key : {lowercase(entry->startupWMClass), lastPart}) {
      if (!key.empty() && std::find(keys.begin(), keys.end(), key) == keys.end()) {
        keys.push_back(key);
      }
    }
    for (const auto& key : keys) claims_[key].push_back(id);
  }
}

std::shared_ptr<const DesktopEntryIndex> DesktopEntryReader::index(
    const std::vector<DesktopEntryFile>& files,
    const std::vector<std::filesystem::path>& directories) {
  std::unordered_map<std::string, Read> reads;
  reads.reserve(files.size());
  std::map<std::string, std::shared_ptr<const DesktopEntry>> entries;
  for (const auto& file : files) {
    if (entries.count(file.id) != 0) continue;
    const std::string key = file.path.string();
    auto known = reads_.find(key);
    Read read;
    if (known != reads_.end() && known->second.stamp == file.stamp) {
      read = std::move(known->second);
    } else {
      read.stamp = file.stamp;
      auto entry = loadDesktopEntry(file.path, {directories[file.directory]});
      if (entry && entry->isApplication()) {
        read.entry = std::make_shared<const DesktopEntry>(std::move(entry.value()));
      }
    }
    if (read.entry) entries.emplace(file.id, read.entry);
    reads.emplace(key, std::move(read));
  }
  reads_ = std::move(reads);
  return std::make_shared<const DesktopEntryIndex>(std::move(entries));
}

std::vector<DesktopEntry> DesktopEntryIndex::entries() const {
  std::vector<DesktopEntry> all;
  all.reserve(entries_.size());
  for (const auto& [id, entry] : entries_) all.push_back(*entry);
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

std::optional<DesktopEntry> DesktopEntryIndex::entry(const std::string* id) const {
  if (id == nullptr) return std::nullopt;
  return byId(*id);
}

std::optional<DesktopEntry> DesktopEntryIndex::byId(const std::string& id) const {
  auto it = byId_.find(id);
  if (it == byId_.end()) return std::nullopt;
  return *it->second;
}

std::optional<DesktopEntry> DesktopEntryIndex::forWindowClass(
    const std::string& windowClass) const {
  if (windowClass.empty()) return std::nullopt;
  auto lookUp = [](const auto& table, const std::string& key) -> const std::string* {
    auto it = table.find(key);
    return it == table.end() ? nullptr : &it->second;
  };
  if (auto id = lookUp(byStartupClass_, windowClass)) return entry(id);
  const std::string wanted = lowercase(windowClass);
  if (auto id = lookUp(byFoldedId_, wanted)) return entry(id);
  return entry(lookUp(byFoldedLastPart_, wanted));
}

std::vector<std::string> DesktopEntryIndex::idsClaimingWindowClass(
    const std::string& windowClass) const {
  if (windowClass.empty()) return {};
  auto it = claims_.find(lowercase(windowClass));
  return it == claims_.end() ? std::vector<std::string>{} : it->second;
}

}  // namespace corvane::platform
