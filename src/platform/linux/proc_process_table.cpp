#include "platform/linux/proc_process_table.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "platform/proc_entries.h"

namespace corvane::platform {
namespace {

std::optional<std::int32_t> processIdFromName(const std::string& name) {
  std::int32_t value = 0;
  const auto* end = name.data() + name.size();
  const auto [last, error] = std::from_chars(name.data(), end, value);
  if (error != std::errc() || last != end || value <= 0) return std::nullopt;
  return value;
}

}  // namespace

ProcProcessTable::ProcProcessTable(std::filesystem::path procRoot)
    : procRoot_(std::move(procRoot)), user_(::getuid()) {}

bool ProcProcessTable::belongsToThisUser(std::int32_t processIdentifier) const {
  struct stat info {};
  const auto folder = procRoot_ / std::to_string(processIdentifier);
  return ::stat(folder.c_str(), &info) == 0 && info.st_uid == user_;
}

std::vector<ProcessRecord> ProcProcessTable::processes() const {
  std::vector<ProcessRecord> records;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(procRoot_, error)) {
    const auto pid = processIdFromName(entry.path().filename().string());
    if (!pid || !belongsToThisUser(*pid)) continue;
    ProcessRecord record;
    record.processIdentifier = *pid;
    record.executable = readProcExecutable(procRoot_, *pid).value_or(std::filesystem::path());
    record.launchedDesktopFile = readProcLaunchedDesktopFile(procRoot_, *pid);
    record.flatpakId = readProcFlatpakId(procRoot_, *pid);
    records.push_back(std::move(record));
  }
  return records;
}

runtime::Status ProcProcessTable::terminate(std::int32_t processIdentifier) {
  const std::string name = "Process " + std::to_string(processIdentifier);
  if (processIdentifier <= 0) return runtime::Status::failure(name + " is not a process.");
  if (!belongsToThisUser(processIdentifier)) {
    return runtime::Status::failure(name + " is not running under this user.");
  }
  if (::kill(processIdentifier, SIGTERM) != 0) {
    return runtime::Status::failure(name + " could not be asked to quit: " + std::strerror(errno) +
                                    ".");
  }
  return runtime::Status::success();
}

}  // namespace corvane::platform
