#include "platform/proc_entries.h"

#include <algorithm>
#include <charconv>
#include <sstream>
#include <string_view>

#include "platform/files.h"
#include "platform/launch_units.h"

namespace corvane::platform {
namespace {

// Entries under /proc/<pid>/root are the process's own files and may be anything it likes (a FIFO
// or a huge file): read them only as small regular files, without blocking.
std::optional<std::string> readSmallFile(const std::filesystem::path& path) {
  constexpr std::uintmax_t limit = 256 * 1024;
  auto contents = readFile(path, limit);
  if (!contents) return std::nullopt;
  return std::move(contents).value();
}

// The value of one variable in a NUL-separated environment block.
std::optional<std::string_view> environmentValue(std::string_view environ, std::string_view name) {
  std::size_t begin = 0;
  while (begin < environ.size()) {
    auto end = environ.find('\0', begin);
    if (end == std::string_view::npos) end = environ.size();
    const auto entry = environ.substr(begin, end - begin);
    if (entry.size() > name.size() && entry.starts_with(name) && entry[name.size()] == '=') {
      return entry.substr(name.size() + 1);
    }
    begin = end + 1;
  }
  return std::nullopt;
}

std::filesystem::path processFolder(const std::filesystem::path& procRoot, std::int32_t processID) {
  return procRoot / std::to_string(processID);
}

// The next unsigned number in `text`, skipping blanks before it.
std::optional<uid_t> takeNumber(std::string_view& text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  uid_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end == text.data()) return std::nullopt;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return value;
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
    for (const auto path : cgroupPaths(*cgroup)) {
      for (auto& unit : launchUnitsInCgroupPath(path)) {
        if (unit.launcher == "flatpak") return std::move(unit.desktopIds.front());
      }
    }
  }
  return std::nullopt;
}

std::optional<std::filesystem::path> readProcLaunchedDesktopFile(
    const std::filesystem::path& procRoot, std::int32_t processID) {
  return readProcLaunchRecord(procRoot, processID).desktopFile;
}

LaunchRecord readProcLaunchRecord(const std::filesystem::path& procRoot, std::int32_t processID) {
  if (processID <= 0) return {};
  const auto environ = readSmallFile(processFolder(procRoot, processID) / "environ");
  if (!environ) return {};
  LaunchRecord record{.readable = true};
  if (const auto appImage = environmentValue(*environ, "APPIMAGE");
      appImage && !appImage->empty()) {
    record.appImage = std::filesystem::path(std::string(*appImage));
  }
  const auto file = environmentValue(*environ, "GIO_LAUNCHED_DESKTOP_FILE");
  const auto launcherPid = environmentValue(*environ, "GIO_LAUNCHED_DESKTOP_FILE_PID");
  if (!file || file->empty()) return record;
  // Children inherit the variables (a program started from a terminal that was opened from the
  // menu carries the terminal's entry): the entry names this process only when the launcher
  // recorded this very process.
  std::int32_t recorded = 0;
  const auto* last = launcherPid ? launcherPid->data() + launcherPid->size() : nullptr;
  const bool own = launcherPid &&
                   std::from_chars(launcherPid->data(), last, recorded).ptr == last &&
                   recorded == processID;
  (own ? record.desktopFile : record.inheritedDesktopFile) =
      std::filesystem::path(std::string(*file));
  return record;
}

std::vector<std::string> readProcLaunchUnitIds(const std::filesystem::path& procRoot,
                                               std::int32_t processID) {
  std::vector<std::string> ids;
  if (processID <= 0) return ids;
  const auto cgroup = readSmallFile(processFolder(procRoot, processID) / "cgroup");
  if (!cgroup) return ids;
  for (const auto path : cgroupPaths(*cgroup)) {
    for (auto& unit : launchUnitsInCgroupPath(path)) {
      for (auto& id : unit.desktopIds) {
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(std::move(id));
      }
    }
  }
  return ids;
}

std::vector<std::string> readProcCommandLine(const std::filesystem::path& procRoot,
                                             std::int32_t processID) {
  std::vector<std::string> words;
  if (processID <= 0) return words;
  const auto cmdline = readSmallFile(processFolder(procRoot, processID) / "cmdline");
  if (!cmdline) return words;
  std::string_view rest = *cmdline;
  while (!rest.empty()) {
    const auto end = rest.find('\0');
    words.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  return words;
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

std::optional<std::filesystem::path> readProcWorkingDirectory(const std::filesystem::path& procRoot,
                                                              std::int32_t processID) {
  if (processID <= 0) return std::nullopt;
  std::error_code error;
  auto target = std::filesystem::read_symlink(processFolder(procRoot, processID) / "cwd", error);
  if (error || target.empty() || !target.is_absolute()) return std::nullopt;
  return target;
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

std::optional<std::uint64_t> readProcStartTime(const std::filesystem::path& procRoot,
                                               std::int32_t processID) {
  const auto parentage = readProcParentage(procRoot, processID);
  if (!parentage) return std::nullopt;
  return parentage->startTime;
}

std::optional<ProcessParentage> readProcParentage(const std::filesystem::path& procRoot,
                                                  std::int32_t processID) {
  if (processID <= 0) return std::nullopt;
  const auto stat = readSmallFile(processFolder(procRoot, processID) / "stat");
  // The command name in parentheses may hold spaces and parentheses: count after the last one.
  const auto close = stat ? stat->rfind(')') : std::string::npos;
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(stat->substr(close + 1));
  std::string field;
  ProcessParentage parentage;
  // The fields after the name start with the third (state); the parent is the 4th, the start
  // time the 22nd.
  for (int index = 3; index <= 22 && fields >> field; ++index) {
    if (index != 4 && index != 22) continue;
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), number);
    if (error != std::errc{} || end != field.data() + field.size()) return std::nullopt;
    if (index == 4) parentage.parent = static_cast<std::int32_t>(number);
    if (index == 22) {
      parentage.startTime = number;
      return parentage;
    }
  }
  return std::nullopt;
}

std::optional<uid_t> readProcUser(const std::filesystem::path& procRoot, std::int32_t processID) {
  if (processID <= 0) return std::nullopt;
  const auto status = readSmallFile(processFolder(procRoot, processID) / "status");
  if (!status) return std::nullopt;
  std::string_view text = *status;
  constexpr std::string_view label = "\nUid:";
  const auto start = text.find(label);
  if (start == std::string_view::npos) return std::nullopt;
  text.remove_prefix(start + label.size());
  // Real, effective, saved set and file-system user ids.
  const auto real = takeNumber(text);
  const auto effective = takeNumber(text);
  const auto saved = takeNumber(text);
  if (!real || real != effective || real != saved) return std::nullopt;
  return real;
}

}  // namespace corvane::platform
