#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/process_table.h"

namespace corvane::platform::sim {

// How a simulated process answers a request to quit.
struct SimProcessBehavior {
  bool ignoresTerminate = false;  // keeps running (a hung or stubborn program)
  double quitDelaySeconds = 0;    // quits this long after the request (main-actor time)
};

// A process list the test fills: processes with or without windows, each answering a quit
// request as its behaviour says. Driven from the main actor.
class SimProcessTable final : public ProcessTable,
                              public std::enable_shared_from_this<SimProcessTable> {
 public:
  static std::shared_ptr<SimProcessTable> make();

  // Its handle is replaced by a new one: a record listed before names an earlier process.
  void addProcess(ProcessRecord record, SimProcessBehavior behavior = {});
  // The process ends by itself.
  void removeProcess(std::int32_t processIdentifier);
  // Every process that was asked to quit, in order of the requests (refused ones not counted).
  std::vector<std::int32_t> terminateRequests() const;
  // How many times the process list was read.
  int listings() const;

  std::vector<ProcessRecord> processes() const override;
  runtime::Status terminate(const ProcessRecord& process) override;

 private:
  SimProcessTable() = default;

  struct Entry {
    ProcessRecord record;
    SimProcessBehavior behavior;
  };
  mutable std::mutex mutex_;
  std::map<std::int32_t, Entry> processes_;
  std::vector<std::int32_t> terminateRequests_;
  mutable int listings_ = 0;
};

}  // namespace corvane::platform::sim
