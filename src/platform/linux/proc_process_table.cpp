#include "platform/linux/proc_process_table.h"

#include <unistd.h>

#include <charconv>

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

std::vector<ProcessRecord> ProcProcessTable::processes() const {
  const bool isSystemTree = procRoot_ == "/proc";
  std::vector<ProcessRecord> records;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(procRoot_, error)) {
    const auto pid = processIdFromName(entry.path().filename().string());
    if (!pid) continue;
    // Held before anything is read, and checked to still run after: what was read is then
    // about the held process, not one that took its number meanwhile.
    auto handle =
        isSystemTree ? ProcessHandle::hold(*pid) : std::make_shared<const ProcessHandle>(*pid);
    if (!handle) continue;  // it has ended
    if (readProcUser(procRoot_, *pid) != user_) continue;
    ProcessRecord record;
    record.processIdentifier = *pid;
    record.executable = readProcExecutable(procRoot_, *pid).value_or(std::filesystem::path());
    record.launchedDesktopFile = readProcLaunchedDesktopFile(procRoot_, *pid);
    record.flatpakId = readProcFlatpakId(procRoot_, *pid);
    if (handle->isHeld() && !handle->isRunning()) continue;
    record.handle = std::move(handle);
    records.push_back(std::move(record));
  }
  return records;
}

runtime::Status ProcProcessTable::terminate(const ProcessRecord& process) {
  if (!process.handle || process.handle->processIdentifier() != process.processIdentifier) {
    return runtime::Status::failure("Process " + std::to_string(process.processIdentifier) +
                                    " was not listed and cannot be asked to quit.");
  }
  return process.handle->terminate(user_);
}

}  // namespace corvane::platform
