#pragma once

#include <filesystem>
#include <vector>

#include "operations/crash_report.h"
#include "runtime/result.h"

namespace corvane::operations {

// The folder of stored crash reports: one "<eventID>.json" per crash and the "signal.markers"
// file of the fatal-signal handler.
class CrashReportStore {
 public:
  explicit CrashReportStore(std::filesystem::path directory) : directory_(std::move(directory)) {}

  const std::filesystem::path& directory() const { return directory_; }
  std::filesystem::path markerPath() const { return directory_ / "signal.markers"; }
  std::filesystem::path pathFor(const CrashReport& report) const;

  // Creates the folder when missing and writes the report atomically.
  runtime::Status persist(const CrashReport& report) const;
  // Writes the report over the file it was read from.
  runtime::Status replace(const std::filesystem::path& file, const CrashReport& report) const;
  // The "*.json" files of the folder, in listing order.
  runtime::Result<std::vector<std::filesystem::path>> reportFiles() const;

 private:
  std::filesystem::path directory_;
};

}  // namespace corvane::operations
