#include "platform/sim/sim_process_table.h"

#include "runtime/main_actor.h"

namespace corvane::platform::sim {

std::shared_ptr<SimProcessTable> SimProcessTable::make() {
  return std::shared_ptr<SimProcessTable>(new SimProcessTable());
}

void SimProcessTable::addProcess(ProcessRecord record, SimProcessBehavior behavior) {
  std::lock_guard lock(mutex_);
  const auto pid = record.processIdentifier;
  // A fresh handle each time: a process added again under a number is another process.
  record.handle = std::make_shared<const ProcessHandle>(pid);
  processes_[pid] = Entry{std::move(record), behavior};
}

void SimProcessTable::removeProcess(std::int32_t processIdentifier) {
  std::lock_guard lock(mutex_);
  processes_.erase(processIdentifier);
}

std::vector<std::int32_t> SimProcessTable::terminateRequests() const {
  std::lock_guard lock(mutex_);
  return terminateRequests_;
}

std::vector<ProcessRecord> SimProcessTable::processes() const {
  std::lock_guard lock(mutex_);
  ++listings_;
  std::vector<ProcessRecord> records;
  for (const auto& [pid, entry] : processes_) records.push_back(entry.record);
  return records;
}

int SimProcessTable::listings() const {
  std::lock_guard lock(mutex_);
  return listings_;
}

runtime::Status SimProcessTable::terminate(const ProcessRecord& process) {
  const auto processIdentifier = process.processIdentifier;
  SimProcessBehavior behavior;
  {
    std::lock_guard lock(mutex_);
    const auto found = processes_.find(processIdentifier);
    if (found == processes_.end() || found->second.record.handle != process.handle) {
      return runtime::Status::failure("Process " + std::to_string(processIdentifier) +
                                      " is not running under this user.");
    }
    terminateRequests_.push_back(processIdentifier);
    behavior = found->second.behavior;
    if (!behavior.ignoresTerminate && behavior.quitDelaySeconds <= 0) processes_.erase(found);
  }
  if (!behavior.ignoresTerminate && behavior.quitDelaySeconds > 0) {
    runtime::postToMainAfter(
        behavior.quitDelaySeconds, weak_from_this(),
        [processIdentifier](SimProcessTable& table) { table.removeProcess(processIdentifier); });
  }
  return runtime::Status::success();
}

}  // namespace corvane::platform::sim
