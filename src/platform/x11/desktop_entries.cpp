#include "platform/x11/desktop_entries.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace corvane::platform::x11 {
namespace {

std::string trim(const std::string& text) {
  const auto begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return {};
  const auto end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

std::string lowercase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::vector<std::filesystem::path> splitPaths(const char* value, const char* fallback) {
  std::string list = (value != nullptr && *value != '\0') ? value : fallback;
  std::vector<std::filesystem::path> paths;
  std::stringstream stream(list);
  std::string item;
  while (std::getline(stream, item, ':')) {
    if (!item.empty()) paths.emplace_back(item);
  }
  return paths;
}

}  // namespace

std::optional<DesktopEntry> parseDesktopEntry(const std::string& text) {
  std::stringstream stream(text);
  std::string line;
  bool inMainGroup = false;
  bool isApplication = false;
  DesktopEntry entry;
  while (std::getline(stream, line)) {
    line = trim(line);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      inMainGroup = line == "[Desktop Entry]";
      continue;
    }
    if (!inMainGroup) continue;
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = trim(line.substr(0, equals));
    const std::string value = trim(line.substr(equals + 1));
    if (key == "Type") isApplication = value == "Application";
    if (key == "Name") entry.name = value;
    if (key == "StartupWMClass") entry.startupWMClass = value;
  }
  if (!isApplication) return std::nullopt;
  return entry;
}

std::string desktopIdForRelativePath(const std::filesystem::path& relative) {
  std::string id = relative.generic_string();
  if (id.size() > 8 && id.ends_with(".desktop")) id.resize(id.size() - 8);
  std::replace(id.begin(), id.end(), '/', '-');
  return id;
}

std::vector<std::filesystem::path> DesktopEntryIndex::applicationDirectories() {
  std::vector<std::filesystem::path> result;
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  if (dataHome != nullptr && *dataHome != '\0') {
    result.emplace_back(dataHome);
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    result.emplace_back(std::filesystem::path(home) / ".local/share");
  }
  for (auto& dir : splitPaths(std::getenv("XDG_DATA_DIRS"), "/usr/local/share:/usr/share")) {
    result.push_back(dir);
  }
  for (auto& dir : result) dir /= "applications";
  return result;
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
      std::ifstream file(path);
      std::stringstream text;
      text << file.rdbuf();
      auto entry = parseDesktopEntry(text.str());
      if (!entry) continue;
      entry->id = id;
      entry->path = path;
      index.entries_.emplace(id, std::move(*entry));
    }
  }
  return index;
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

}  // namespace corvane::platform::x11
