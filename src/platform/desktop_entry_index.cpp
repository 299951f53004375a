#include "platform/desktop_entry_index.h"

#include <algorithm>
#include <cctype>

#include "platform/files.h"

namespace corvane::platform {
namespace {

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

DesktopEntryIndex DesktopEntryIndex::load(const std::vector<std::filesystem::path>& directories) {
  DesktopEntryIndex index;
  for (const auto& directory : directories) {
    std::error_code error;
    if (!std::filesystem::is_directory(directory, error)) continue;
    auto options = std::filesystem::directory_options::skip_permission_denied;
    for (auto it = std::filesystem::recursive_directory_iterator(directory, options, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
      if (it.depth() > 4) it.disable_recursion_pending();
      const auto& path = it->path();
      if (path.extension() != ".desktop" || !it->is_regular_file(error)) continue;
      const std::string id = desktopIdForRelativePath(path.lexically_relative(directory));
      if (index.entries_.count(id) != 0) continue;
      auto entry = loadDesktopEntry(path, {directory});
      if (!entry || !entry->isApplication()) continue;
      index.entries_.emplace(id, std::move(entry.value()));
    }
  }
  return index;
}

std::vector<DesktopEntry> DesktopEntryIndex::entries() const {
  std::vector<DesktopEntry> all;
  all.reserve(entries_.size());
  for (const auto& [id, entry] : entries_) all.push_back(entry);
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

std::optional<DesktopEntry> DesktopEntryIndex::byId(const std::string& id) const {
  auto it = entries_.find(id);
  if (it == entries_.end()) return std::nullopt;
  return it->second;
}

std::optional<DesktopEntry> DesktopEntryIndex::forWindowClass(
    const std::string& windowClass) const {
  if (windowClass.empty()) return std::nullopt;
  for (const auto& [id, entry] : entries_) {
    if (entry.startupWMClass == windowClass) return entry;
  }
  const std::string wanted = lowercase(windowClass);
  for (const auto& [id, entry] : entries_) {
    if (lowercase(id) == wanted) return entry;
  }
  for (const auto& [id, entry] : entries_) {
    const auto dot = id.rfind('.');
    if (dot != std::string::npos && lowercase(id.substr(dot + 1)) == wanted) return entry;
  }
  return std::nullopt;
}

std::vector<std::string> DesktopEntryIndex::idsClaimingWindowClass(
    const std::string& windowClass) const {
  std::vector<std::string> ids;
  if (windowClass.empty()) return ids;
  const std::string wanted = lowercase(windowClass);
  for (const auto& [id, entry] : entries_) {
    const auto dot = id.rfind('.');
    if (lowercase(entry.startupWMClass) == wanted || lowercase(id) == wanted ||
        (dot != std::string::npos && lowercase(id.substr(dot + 1)) == wanted)) {
      ids.push_back(id);
    }
  }
  return ids;
}

std::vector<std::string> DesktopEntryIndex::idsStartingCommand(
    const std::vector<std::string>& commandLine, const std::filesystem::path& executable) const {
  std::vector<std::string> ids;
  for (const auto& [id, entry] : entries_) {
    if (entry.startsCommand(commandLine, executable)) ids.push_back(id);
  }
  return ids;
}

}  // namespace corvane::platform
