#pragma once

#include <optional>
#include <string>

#include "runtime/clock.h"
#include "runtime/result.h"

namespace corvane::operations {

// Who crashed: the running build and the machine it ran on.
struct ApplicationIdentity {
  std::string appVersion = "unknown";
  std::string buildNumber = "unknown";
  std::string operatingSystem;
};

// One stored crash. Each field is stored under its own name; dates are ISO 8601 in UTC.
struct CrashReport {
  std::string eventID;
  runtime::WallTime timestamp;
  std::string type;
  std::string reason;
  std::string appVersion;
  std::string buildNumber;
  std::string operatingSystem;
  std::optional<int> uploadAttempts;
  std::optional<runtime::WallTime> lastUploadFailureAt;
  std::optional<runtime::WallTime> nextUploadAttemptAt;

  static CrashReport make(std::string type, std::string reason, runtime::WallTime timestamp,
                          const ApplicationIdentity& identity);

  // A copy with one more failed attempt and the next one pushed back: 60 s doubling per failure,
  // at most a day.
  CrashReport recordingUploadFailure(runtime::WallTime now) const;

  std::string encode() const;
  static runtime::Result<CrashReport> decode(const std::string& json);

  bool operator==(const CrashReport&) const = default;
};

// 32 lower-case hexadecimal digits from a new random UUID.
std::string makeEventID();
bool isEventID(const std::string& text);

// Seconds to wait after the attempt-th failure.
double uploadBackoffSeconds(int attempts);

}  // namespace corvane::operations
