#include "platform/process_ancestry.h"

#include <algorithm>

#include "platform/desktop_entry_index.h"

namespace corvane::platform {
namespace {

// How far up a process's ancestry is looked: deeper chains are not made by launchers.
constexpr int kMostAncestors = 64;
// So many processes are kept; past that the record starts afresh.
constexpr std::size_t kMostKnown = 4096;

void addOnce(std::vector<std::string>& ids, std::string id) {
  if (!id.empty() && std::find(ids.begin(), ids.end(), id) == ids.end()) {
    ids.push_back(std::move(id));
  }
}

}  // namespace

std::vector<std::string> readProcLaunchIds(const std::filesystem::path& procRoot,
                                           std::int32_t processID) {
  std::vector<std::string> ids;
  if (auto flatpak = readProcFlatpakId(procRoot, processID)) addOnce(ids, std::move(*flatpak));
  if (auto launched = readProcLaunchedDesktopFile(procRoot, processID)) {
    addOnce(ids, desktopIdOfEntryFile(*launched));
  }
  for (auto& id : readProcLaunchUnitIds(procRoot, processID)) addOnce(ids, std::move(id));
  return ids;
}

std::optional<ProcessAncestry::Known> ProcessAncestry::known(
    std::int32_t processID, std::optional<std::uint64_t> startTime) const {
  auto kept = [&](std::uint64_t wanted) -> std::optional<Known> {
    std::lock_guard lock(mutex_);
    const auto found = known_.find(processID);
    if (found == known_.end() || found->second.startTime != wanted) return std::nullopt;
    return found->second;
  };
  if (startTime) {
    if (auto found = kept(*startTime)) return found;
  }
  const auto read = readProcParentage(procRoot_, processID);
  // Gone, or another process given its id since the line was last followed.
  if (!read || (startTime && read->startTime != *startTime)) return std::nullopt;
  if (auto found = kept(read->startTime)) return found;
  const auto parent = readProcParentage(procRoot_, read->parent);
  Known process{read->startTime,
                read->parent,
                parent ? parent->startTime : 0,
                readProcLaunchIds(procRoot_, processID),
                readProcCommandLine(procRoot_, processID),
                readProcExecutable(procRoot_, processID).value_or(""),
                std::nullopt};
  process.script = interpretedScript(process.commandLine, process.executable,
                                     readProcWorkingDirectory(procRoot_, processID).value_or(""));
  std::lock_guard lock(mutex_);
  if (known_.size() >= kMostKnown) known_.clear();
  known_.insert_or_assign(processID, process);
  return process;
}

std::vector<ProcessAncestor> ProcessAncestry::of(const ProcessParentage& child) const {
  std::vector<ProcessAncestor> ancestors;
  std::int32_t id = child.parent;
  std::uint64_t childStartTime = child.startTime;
  std::optional<std::uint64_t> startTime;
  for (int depth = 0; id > 1 && depth < kMostAncestors; ++depth) {
    const auto process = known(id, startTime);
    // A process started after the child is not its parent: another was given the id.
    if (!process || process->startTime > childStartTime) break;
    ancestors.push_back(ProcessAncestor{id, process->startTime, process->launchIds,
                                        process->commandLine, process->executable,
                                        process->script});
    childStartTime = process->startTime;
    id = process->parent;
    startTime = process->parentStartTime;
  }
  return ancestors;
}

}  // namespace corvane::platform
