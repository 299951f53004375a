#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "model/diagnostic_log_files.h"
#include "runtime/result.h"
#include "runtime/serial_queue.h"

namespace corvane::model {

// The local diagnostics event log: metadata-only events as JSON lines in
// <data folder>/Diagnostics/events.jsonl, rotated by size (DiagnosticLogLimits), written on the
// reporter's own serial queue.
class DiagnosticReporter {
 public:
  static constexpr const char* queueLabel = "com.pemberquist.corvane.diagnostics";
  static constexpr const char* exportFolderName = "Corvane-Diagnostics";
  // Events waiting for the queue beyond this many are dropped (and counted) rather than letting
  // a stuck disk grow memory without bound.
  static constexpr std::size_t maxPendingEvents = 100000;
  // Events the log could not write kept in memory for the export, the most recent ones.
  static constexpr std::size_t maxUnwrittenEvents = 200;

  // `folder` holds the log (empty: nothing is kept, exports say no diagnostics were recorded);
  // `temporaryFolder`, a folder only this user can write, receives exports.
  DiagnosticReporter(std::filesystem::path folder, std::shared_ptr<runtime::SerialQueue> queue,
                     std::filesystem::path temporaryFolder, DiagnosticLogLimits limits = {});

  // The process's log: the one the application installed (installShared) in its data folder;
  // before that, one that keeps nothing.
  static DiagnosticReporter& shared();
  // Replaces the shared log (nullptr: the next shared() makes a fresh one) and returns the
  // previous. A replaced reporter stays alive, so references already handed out stay valid.
  static std::shared_ptr<DiagnosticReporter> installShared(
      std::shared_ptr<DiagnosticReporter> reporter);

  // Appends one event stamped with the current time, asynchronously on the queue. Callable from
  // any thread; never blocks on the disk and never fails the caller.
  void record(std::string event, std::map<std::string, std::string> fields = {});

  // Copies the log into "Corvane-Diagnostics/corvane-diagnostics-<time>.jsonl" in the export
  // folder (or writes "No diagnostics recorded yet." when there is no log and nothing else to
  // tell) and returns that path. Events the log could not keep (the most recent
  // maxUnwrittenEvents of them) follow the log's lines, so a disk that refuses writes shows in
  // the export. Runs synchronously on the queue, after every event recorded before it.
  runtime::Result<std::filesystem::path> exportDiagnostics();

  // The log read back, oldest first (synchronously on the queue).
  DiagnosticLogContents readEvents();
  // Waits until every event recorded so far is written.
  void flush();

  const std::filesystem::path& folder() const { return folder_; }
  // Events that could not be written or were dropped under pressure.
  std::uint64_t lostEventCount() const { return state_->lost.load(); }

 private:
  struct State {
    explicit State(std::filesystem::path folder, DiagnosticLogLimits limits)
        : files(std::move(folder), limits) {}
    DiagnosticLogFiles files;
    std::atomic<std::size_t> pending{0};
    std::atomic<std::uint64_t> lost{0};
    // Lines the files refused, oldest first; touched on the queue only.
    std::deque<std::string> unwritten;
  };

  runtime::Result<std::filesystem::path> exportOnQueue();

  std::filesystem::path folder_;
  std::filesystem::path temporaryFolder_;
  std::shared_ptr<runtime::SerialQueue> queue_;
  std::shared_ptr<State> state_;
};

// Installs a reporter as the shared one for a scope (tests), then puts the previous back.
class ScopedDiagnosticReporter {
 public:
  explicit ScopedDiagnosticReporter(std::shared_ptr<DiagnosticReporter> reporter)
      : previous_(DiagnosticReporter::installShared(std::move(reporter))) {}
  ~ScopedDiagnosticReporter() { DiagnosticReporter::installShared(std::move(previous_)); }
  ScopedDiagnosticReporter(const ScopedDiagnosticReporter&) = delete;
  ScopedDiagnosticReporter& operator=(const ScopedDiagnosticReporter&) = delete;

 private:
  std::shared_ptr<DiagnosticReporter> previous_;
};

// Event fields are text: Booleans are written "true" or "false".
inline const char* diagnosticFlag(bool value) {
  return value ? "true" : "false";
}

}  // namespace corvane::model
