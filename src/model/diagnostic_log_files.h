#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "model/diagnostic_event.h"
#include "runtime/result.h"

namespace corvane::model {

// How much history the log keeps: the current file grows to maxFileBytes, then becomes
// "events.1.jsonl" (the older ones move up one number) and a new current file starts; at most
// rotatedFileCount older files are kept, the oldest is deleted. The defaults keep at most
// 5 × 1 MiB, which holds tens of thousands of events: many sessions of history at a small, fixed
// disk cost.
struct DiagnosticLogLimits {
  std::uintmax_t maxFileBytes = 1024 * 1024;
  int rotatedFileCount = 4;
};

// What reading the log back gives: its events oldest first, and how many lines did not decode
// (truncated by a crash, binary garbage, hand edits). Such lines are skipped, never fatal.
struct DiagnosticLogContents {
  std::vector<DiagnosticEvent> events;
  std::size_t unreadableLineCount = 0;
};

// The files of the diagnostics log in one folder ("events.jsonl" and its rotated
// predecessors). Not thread-safe: the reporter uses it on its queue only.
class DiagnosticLogFiles {
 public:
  DiagnosticLogFiles(std::filesystem::path folder, DiagnosticLogLimits limits);

  // Appends one encoded line, rotating first when it would not fit. Creates the folder (0700)
  // and the file (0600) when missing. A previous line left without its line feed (the process
  // died mid-write) is closed first, so the new line stays whole. Something other than a regular
  // file at the log's path (a symbolic link) is renamed "events.unreadable-<n>.jsonl" and a
  // "diagnostic_log_recovered" line naming it starts the new file.
  runtime::Status append(const std::string& line);

  // Every existing log file, oldest first.
  std::vector<std::filesystem::path> existingFiles() const;
  bool hasAnyFile() const { return !existingFiles().empty(); }
  // All files' bytes, oldest first.
  runtime::Result<std::string> concatenatedContents() const;
  DiagnosticLogContents read() const;

  std::filesystem::path currentFile() const { return folder_ / "events.jsonl"; }
  std::filesystem::path rotatedFile(int number) const;
  const std::filesystem::path& folder() const { return folder_; }

 private:
  runtime::Status rotate();
  runtime::Status appendLine(const std::string& line);
  std::optional<std::filesystem::path> moveAsideUnwritable();

  std::filesystem::path folder_;
  DiagnosticLogLimits limits_;
};

}  // namespace corvane::model
