#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "operations/crash_report.h"
#include "operations/crash_report_store.h"
#include "operations/diagnostic_recorder.h"
#include "operations/sentry_envelope.h"
#include "platform/http_client.h"
#include "runtime/result.h"
#include "runtime/serial_queue.h"

namespace corvane::model {
struct ProductionConfiguration;
}

namespace corvane::operations {

struct CrashReporterDependencies {
  std::filesystem::path reportsDirectory;  // <data>/Corvane/CrashReports
  ApplicationIdentity identity;
  std::shared_ptr<platform::HttpClient> http;
  // Report files are written here ("com.pemberquist.corvane.crash-reporter").
  std::shared_ptr<runtime::SerialQueue> queue;
  // The background upload pass runs here, off the main actor.
  std::shared_ptr<runtime::SerialQueue> uploadQueue;
  DiagnosticRecorder record;
};

// What an upload pass did, for the log and the tests.
struct UploadPassSummary {
  int sent = 0;
  int deferred = 0;   // refused for now; tried again at a later launch
  int discarded = 0;  // refused for good (the endpoint will never take this report)
  int notDue = 0;
  int unreadable = 0;
};

// Turns uncaught exceptions and fatal signals into stored crash reports and sends them to the
// crash-report endpoint, once per launch.
class CrashReporterRuntime : public std::enable_shared_from_this<CrashReporterRuntime> {
 public:
  explicit CrashReporterRuntime(CrashReporterDependencies dependencies);

  // Once per process. Without a DSN that parses nothing is installed, and neither is anything
  // when the build switches crash reporting off ("CorvaneCrashReportingEnabled" false). Otherwise:
  // promote the markers of the last run to reports, open the marker file, install the
  // uncaught-exception handler and start one background upload pass. Its own failures never reach
  // the caller.
  void start(const std::optional<std::string>& crashReportingDSN);
  void start(const model::ProductionConfiguration& configuration);

  // Builds a report and writes it before returning (the process ends right after); says whether
  // it reached the disk.
  runtime::Status recordUncaughtException(const std::string& type,
                                          const std::optional<std::string>& reason);

  runtime::Status promoteSignalMarkers(runtime::WallTime now);
  runtime::Status installSignalMarker();

  // One pass over the stored reports, one request at a time. Blocks; never fails.
  UploadPassSummary uploadPendingReports(const SentryEnvelopeDSN& dsn);

  std::optional<SentryEnvelopeDSN> dsn() const;
  const CrashReportStore& store() const { return store_; }
  const ApplicationIdentity& identity() const { return dependencies_.identity; }

 private:
  CrashReporterDependencies dependencies_;
  CrashReportStore store_;
  mutable std::mutex mutex_;
  bool started_ = false;
  std::optional<SentryEnvelopeDSN> dsn_;
};

// The process's uncaught-exception hook: records the active exception through the armed runtime,
// keeps the fatal-signal marker from recording the same crash again, then ends the process.
[[noreturn]] void corvaneTerminateHandler();

// The running system, for reports: "Linux 6.1.0-18-amd64 x86_64".
std::string operatingSystemDescription();

}  // namespace corvane::operations
