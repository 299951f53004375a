#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/proc_entries.h"
#include "platform/program_runners.h"

namespace corvane::platform {

// A process that another descends from, with the ids it was launched under and what it runs.
struct ProcessAncestor {
  std::int32_t processID = 0;
  std::uint64_t startTime = 0;
  std::vector<std::string> ids;
  std::vector<std::string> commandLine;
  std::filesystem::path executable;
  std::optional<InterpretedScript> script;  // what its interpreter runs, when it runs a script
  bool operator==(const ProcessAncestor&) const = default;
};

// The ids a process was launched under: its flatpak id, the desktop entry its launcher recorded
// for it, and its launch units' ids.
std::vector<std::string> readProcLaunchIds(const std::filesystem::path& procRoot,
                                           std::int32_t processID);

// Where processes descend from, read from a /proc tree (parent and start time from stat). A
// process's parent is read afresh every time (it may have been given another); above it the line
// is followed as first read, each process kept with its start time, so an ancestor that ended,
// or was moved under another since, still counts, and a process later given its id does not.
// Safe to call from any thread.
class ProcessAncestry {
 public:
  explicit ProcessAncestry(std::filesystem::path procRoot) : procRoot_(std::move(procRoot)) {}

  // The processes `child` descends from, its parent first, init left out; at most 64.
  std::vector<ProcessAncestor> of(const ProcessParentage& child) const;

 private:
  struct Known {
    std::uint64_t startTime = 0;
    std::int32_t parent = 0;
    std::uint64_t parentStartTime = 0;
    std::vector<std::string> launchIds;
    std::vector<std::string> commandLine;
    std::filesystem::path executable;
    std::optional<InterpretedScript> script;
  };
  // The process, read when unknown or when `startTime` is not given (then checked against it
  // when it is); nothing when it is gone or another process has the id.
  std::optional<Known> known(std::int32_t processID, std::optional<std::uint64_t> startTime) const;

  std::filesystem::path procRoot_;
  mutable std::mutex mutex_;
  mutable std::map<std::int32_t, Known> known_;
};

}  // namespace corvane::platform
