#include "platform/proc_entries.h"

#include <fstream>
#include <sstream>
#include <string_view>

namespace corvane::platform {
namespace {

std::optional<std::string> readSmallFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::filesystem::path processFolder(const std::filesystem::path& procRoot, std::int32_t processID) {
  return procRoot / std::to_string(processID);
}

}  // namespace

std::optional<std::string> readProcFlatpakId(const std::filesystem::path& procRoot,
                                             std::int32_t processID) {
  if (processID <= 0) return std::nullopt;
  const auto base = processFolder(procRoot, processID);
  if (auto info = readSmallFile(base / "root/.flatpak-info")) {
    std::stringstream stream(*info);
    std::string line;
    bool inApplication = false;
    while (std::getline(stream, line)) {
      if (!line.empty() && line.front() == '[') inApplication = line == "[Application]";
      if (inApplication && line.starts_with("name=") && line.size() > 5) return line.substr(5);
    }
  }
  // The sandbox's scope is named app-flatpak-<id>-<number>.scope.
  if (auto cgroup = readSmallFile(base / "cgroup")) {
    const std::string marker = "app-flatpak-";
    const auto start = cgroup->find(marker);
    if (start != std::string::npos) {
      const auto idStart = start + marker.size();
      const auto scope = cgroup->find(".scope", idStart);
      const auto dash = cgroup->rfind('-', scope);
      if (scope != std::string::npos && dash != std::string::npos && dash > idStart) {
        return cgroup->substr(idStart, dash - idStart);
      }
    }
  }
  return std::nullopt;
}

std::optional<std::filesystem::path> readProcLaunchedDesktopFile(
    const std::filesystem::path& procRoot, std::int32_t processID) {
  if (processID <= 0) return std::nullopt;
  const auto environ = readSmallFile(processFolder(procRoot, processID) / "environ");
  if (!environ) return std::nullopt;
  constexpr std::string_view key = "GIO_LAUNCHED_DESKTOP_FILE=";
  std::size_t begin = 0;
  while (begin < environ->size()) {
    auto end = environ->find('\0', begin);
    if (end == std::string::npos) end = environ->size();
    const std::string_view entry(environ->data() + begin, end - begin);
    if (entry.starts_with(key) && entry.size() > key.size()) {
      return std::filesystem::path(std::string(entry.substr(key.size())));
    }
    begin = end + 1;
  }
  return std::nullopt;
}

std::optional<std::filesystem::path> readProcExecutable(const std::filesystem::path& procRoot,
                                                        std::int32_t processID) {
  if (processID <= 0) return std::nullopt;
  std::error_code error;
  auto target = std::filesystem::read_symlink(processFolder(procRoot, processID) / "exe", error);
  if (error || target.empty()) return std::nullopt;
  std::string text = target.string();
  constexpr std::string_view deleted = " (deleted)";
  if (text.ends_with(deleted)) text.resize(text.size() - deleted.size());
  return std::filesystem::path(text);
}

std::optional<std::string> readProcCommandName(const std::filesystem::path& procRoot,
                                               std::int32_t processID) {
  if (processID <= 0) return std::nullopt;
  auto comm = readSmallFile(processFolder(procRoot, processID) / "comm");
  if (!comm) return std::nullopt;
  while (!comm->empty() && comm->back() == '\n') comm->pop_back();
  if (comm->empty()) return std::nullopt;
  return *comm;
}

}  // namespace corvane::platform
