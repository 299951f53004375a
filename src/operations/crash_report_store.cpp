#include "operations/crash_report_store.h"

#include <system_error>

#include "platform/files.h"

namespace corvane::operations {

namespace fs = std::filesystem;

fs::path CrashReportStore::pathFor(const CrashReport& report) const {
  return directory_ / (report.eventID + ".json");
}

runtime::Status CrashReportStore::persist(const CrashReport& report) const {
  // Event identifiers come from stored files too; only the 32-digit form names a file.
  if (!isEventID(report.eventID)) {
    return runtime::Status::failure("Crash report has a malformed event identifier.");
  }
  if (auto created = platform::createPrivateDirectories(directory_); !created) return created;
  return platform::writeFileAtomically(pathFor(report), report.encode());
}

runtime::Status CrashReportStore::replace(const fs::path& file, const CrashReport& report) const {
  if (file.parent_path() != directory_) {
    return runtime::Status::failure("Crash report lies outside the reports folder.");
  }
  return platform::writeFileAtomically(file, report.encode());
}

runtime::Result<std::vector<fs::path>> CrashReportStore::reportFiles() const {
  std::error_code error;
  fs::directory_iterator it(directory_, error);
  if (error) {
    return runtime::Result<std::vector<fs::path>>::failure("Crash reports folder unreadable: " +
                                                           error.message());
  }
  std::vector<fs::path> files;
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) break;
    if (it->path().extension() == ".json") files.push_back(it->path());
  }
  return files;
}

}  // namespace corvane::operations
