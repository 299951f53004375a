#include "operations/crash_reporter_runtime.h"

#include <cxxabi.h>
#include <sys/utsname.h>

#include <atomic>
#include <cstdlib>
#include <exception>
#include <system_error>
#include <typeinfo>

#include "model/diagnostic_reporter.h"
#include "operations/crash_signal_marker.h"
#include "operations/signal_marker_reports.h"
#include "platform/files.h"
#include "runtime/runtime.h"

namespace corvane::operations {
namespace {

namespace fs = std::filesystem;
using runtime::Status;

constexpr std::size_t kMaxReportBytes = 1024 * 1024;
constexpr std::size_t kMaxMarkerBytes = 1024 * 1024;

// The runtime whose start installed the uncaught-exception hook, and the hook it replaced.
struct ArmedHandler {
  std::mutex mutex;
  std::weak_ptr<CrashReporterRuntime> runtime;
  std::terminate_handler previous = nullptr;
};

ArmedHandler& armedHandler() {
  static ArmedHandler armed;
  return armed;
}

runtime::WallTime currentTime() {
  return runtime::hasRuntime() ? runtime::now() : runtime::SystemClock().now();
}

std::string demangle(const char* name) {
  int status = 0;
  char* readable = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  std::string result = status == 0 && readable != nullptr ? readable : name;
  std::free(readable);
  return result;
}

// A 4xx answer other than "time-out" and "too many requests" says this report will never be
// taken; trying it again every day forever would only cost the user.
bool isPermanentRejection(int status) {
  return status >= 400 && status <= 499 && status != 408 && status != 429;
}

}  // namespace

CrashReporterRuntime::CrashReporterRuntime(CrashReporterDependencies dependencies)
    : dependencies_(std::move(dependencies)), store_(dependencies_.reportsDirectory) {}

std::optional<SentryEnvelopeDSN> CrashReporterRuntime::dsn() const {
  std::lock_guard lock(mutex_);
  return dsn_;
}

void CrashReporterRuntime::start(const std::optional<std::string>& crashReportingDSN) {
  if (!crashReportingDSN) return;
  auto parsed = SentryEnvelopeDSN::parse(*crashReportingDSN);
  if (!parsed) return;
  {
    std::lock_guard lock(mutex_);
    if (started_) return;
    started_ = true;
    dsn_ = parsed;
  }
  const Status promoted = promoteSignalMarkers(currentTime());
  const Status installed = installSignalMarker();
  if (dependencies_.record) {
    dependencies_.record("crash_reporting_started",
                         {{"signalMarkersPromoted", model::diagnosticFlag(promoted.ok())},
                          {"signalMarkerInstalled", model::diagnosticFlag(installed.ok())}});
  }
  {
    auto& armed = armedHandler();
    std::lock_guard lock(armed.mutex);
    armed.runtime = weak_from_this();
    std::terminate_handler previous = std::set_terminate(corvaneTerminateHandler);
    if (previous != corvaneTerminateHandler) armed.previous = previous;
  }
  std::weak_ptr<CrashReporterRuntime> weak = weak_from_this();
  const SentryEnvelopeDSN dsn = *parsed;
  dependencies_.uploadQueue->post([weak, dsn] {
    if (auto self = weak.lock()) self->uploadPendingReports(dsn);
  });
}

Status CrashReporterRuntime::recordUncaughtException(const std::string& type,
                                                     const std::optional<std::string>& reason) {
  const CrashReport report = CrashReport::make(type, reason.value_or("Uncaught exception"),
                                               currentTime(), dependencies_.identity);
  Status persisted = Status::failure("The crash report was not written.");
  dependencies_.queue->runSync([this, &report, &persisted] { persisted = store_.persist(report); });
  return persisted;
}

Status CrashReporterRuntime::promoteSignalMarkers(runtime::WallTime now) {
  const fs::path marker = store_.markerPath();
  std::error_code error;
  if (!fs::exists(marker, error)) return Status::success();
  auto text = platform::readFile(marker, kMaxMarkerBytes);
  if (!text) return Status(text.error());
  for (const auto& report : signalReports(*text, now, dependencies_.identity)) {
    if (auto persisted = store_.persist(report); !persisted) return persisted;
  }
  if (!fs::remove(marker, error) && error) {
    return Status::failure("Could not remove the signal marker file: " + error.message());
  }
  return Status::success();
}

Status CrashReporterRuntime::installSignalMarker() {
  if (auto created = platform::createPrivateDirectories(store_.directory()); !created) {
    return created;
  }
  if (CorvaneCrashSignalInstall(store_.markerPath().c_str()) == -1) {
    return Status::failure("The crash signal marker could not be installed.");
  }
  return Status::success();
}

UploadPassSummary CrashReporterRuntime::uploadPendingReports(const SentryEnvelopeDSN& dsn) {
  UploadPassSummary summary;
  auto files = store_.reportFiles();
  if (!files) return summary;
  for (const auto& file : *files) {
    auto text = platform::readFile(file, kMaxReportBytes);
    if (!text) {
      ++summary.unreadable;
      continue;
    }
    auto report = CrashReport::decode(*text);
    if (!report) {
      ++summary.unreadable;
      continue;
    }
    const runtime::WallTime now = currentTime();
    if (report->nextUploadAttemptAt && *report->nextUploadAttemptAt > now) {
      ++summary.notDue;
      continue;
    }
    platform::HttpRequest request;
    request.method = "POST";
    request.url = dsn.envelopeURL();
    request.timeoutSeconds = 15;
    request.headers["Content-Type"] = "application/x-sentry-envelope";
    request.body = SentryEnvelope{*report, dsn}.data(now);
    request.maxResponseBytes = 64 * 1024;
    auto response = dependencies_.http->perform(request);
    std::error_code error;
    if (response && response->isSuccess()) {
      fs::remove(file, error);
      ++summary.sent;
    } else if (response && isPermanentRejection(response->statusCode)) {
      fs::remove(file, error);
      ++summary.discarded;
    } else {
      (void)store_.replace(file, report->recordingUploadFailure(currentTime()));
      ++summary.deferred;
    }
  }
  if (dependencies_.record) {
    dependencies_.record("crash_report_upload_finished",
                         {{"sent", std::to_string(summary.sent)},
                          {"deferred", std::to_string(summary.deferred)},
                          {"discarded", std::to_string(summary.discarded)},
                          {"notDue", std::to_string(summary.notDue)},
                          {"unreadable", std::to_string(summary.unreadable)}});
  }
  return summary;
}

void corvaneTerminateHandler() {
  // The first crashing thread records; any other waits for the process to end with it.
  if (CorvaneCrashClaim() == 0) CorvaneCrashHoldThread();
  // A failure while recording must not re-enter and record again: go straight to the abort.
  static std::atomic<bool> entered{false};
  if (entered.exchange(true)) std::abort();
  std::shared_ptr<CrashReporterRuntime> runtime;
  std::terminate_handler previous = nullptr;
  {
    auto& armed = armedHandler();
    std::lock_guard lock(armed.mutex);
    runtime = armed.runtime.lock();
    previous = armed.previous;
  }
  if (std::exception_ptr active = std::current_exception(); active && runtime) {
    const std::type_info* type = abi::__cxa_current_exception_type();
    std::optional<std::string> reason;
    try {
      std::rethrow_exception(active);
    } catch (const std::exception& exception) {
      reason = exception.what();
    } catch (...) {
    }
    const Status recorded = runtime->recordUncaughtException(
        type != nullptr ? demangle(type->name()) : "unknown", reason);
    // Without a report on disk the signal marker is the only trace this crash leaves.
    if (recorded.ok()) CorvaneCrashSignalSuppressMarker();
  }
  if (previous != nullptr) previous();
  std::abort();
}

std::string operatingSystemDescription() {
  utsname name{};
  if (uname(&name) != 0) return "Linux";
  return std::string(name.sysname) + " " + name.release + " " + name.machine;
}

}  // namespace corvane::operations
