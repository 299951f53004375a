#include "model/diagnostic_reporter.h"

#include <sys/stat.h>

#include <algorithm>
#include <mutex>
#include <optional>
#include <vector>

#include "model/current_time.h"
#include "platform/files.h"
#include "runtime/runtime.h"

namespace corvane::model {
namespace fs = std::filesystem;
namespace {

constexpr const char* noDiagnosticsText = "No diagnostics recorded yet.\n";

struct SharedReporterSlot {
  std::mutex mutex;
  std::shared_ptr<DiagnosticReporter> current;
  // Replaced reporters are kept so that a reference from shared() never dangles.
  std::vector<std::shared_ptr<DiagnosticReporter>> retired;
};

SharedReporterSlot& sharedSlot() {
  // Never destroyed: events may be recorded from other threads while the process exits.
  static auto* slot = new SharedReporterSlot;
  return *slot;
}

// Until the application installs its log, events go nowhere: there is no folder to keep them in.
std::shared_ptr<DiagnosticReporter> makeDefaultReporter() {
  return std::make_shared<DiagnosticReporter>(
      fs::path(), runtime::makeSerialQueue(DiagnosticReporter::queueLabel), fs::path());
}

std::string exportFileName(runtime::WallTime time) {
  std::string stamp = runtime::formatISO8601(time);
  std::replace(stamp.begin(), stamp.end(), ':', '-');
  return "corvane-diagnostics-" + stamp + ".jsonl";
}

// The export folder and the folder holding it must be real folders of ours that nobody else can
// write (a link is refused), or the export could be read or replaced.
runtime::Status checkPrivateFolder(const fs::path& folder) {
  using Verdict = platform::FolderOwnership::Verdict;
  switch (platform::folderOwnership(folder, S_IWGRP | S_IWOTH).verdict) {
    case Verdict::ours:
      return runtime::Status::success();
    case Verdict::unreadable:
    case Verdict::notAFolder:
      return runtime::Status::failure("Could not export diagnostics: " + folder.string() +
                                      " is not a folder.");
    case Verdict::anotherUsers:
    case Verdict::openToOthers:
      break;
  }
  return runtime::Status::failure("Could not export diagnostics: " + folder.string() +
                                  " belongs to another user or can be changed by others.");
}

}  // namespace

DiagnosticReporter::DiagnosticReporter(fs::path folder, std::shared_ptr<runtime::SerialQueue> queue,
                                       fs::path temporaryFolder, DiagnosticLogLimits limits)
    : folder_(std::move(folder)),
      temporaryFolder_(std::move(temporaryFolder)),
      queue_(std::move(queue)),
      state_(std::make_shared<State>(folder_, limits)) {
  if (temporaryFolder_.empty()) {
    temporaryFolder_ = platform::WellKnownFolders::fromEnvironment().privateTemporary();
  }
}

DiagnosticReporter& DiagnosticReporter::shared() {
  auto& slot = sharedSlot();
  std::lock_guard lock(slot.mutex);
  if (!slot.current) {
    slot.current = makeDefaultReporter();
  }
  return *slot.current;
}

std::shared_ptr<DiagnosticReporter> DiagnosticReporter::installShared(
    std::shared_ptr<DiagnosticReporter> reporter) {
  auto& slot = sharedSlot();
  std::lock_guard lock(slot.mutex);
  auto previous = std::move(slot.current);
  if (previous) slot.retired.push_back(previous);
  slot.current = std::move(reporter);
  return previous;
}

void DiagnosticReporter::record(std::string event, std::map<std::string, std::string> fields) {
  DiagnosticEvent entry{currentWallTime(), std::move(event), std::move(fields)};
  if (folder_.empty()) return;
  if (state_->pending.fetch_add(1) >= maxPendingEvents) {
    state_->pending.fetch_sub(1);
    state_->lost.fetch_add(1);
    return;
  }
  // The job holds the state, not the reporter: it stays valid whatever happens to this object.
  queue_->post([state = state_, entry = std::move(entry)] {
    state->pending.fetch_sub(1);
    auto line = encodeDiagnosticLine(entry);
    if (state->files.append(line)) return;
    state->lost.fetch_add(1);
    state->unwritten.push_back(std::move(line));
    if (state->unwritten.size() > maxUnwrittenEvents) state->unwritten.pop_front();
  });
}

runtime::Result<fs::path> DiagnosticReporter::exportDiagnostics() {
  std::optional<runtime::Result<fs::path>> outcome;
  queue_->runSync([&] { outcome.emplace(exportOnQueue()); });
  return std::move(*outcome);
}

runtime::Result<fs::path> DiagnosticReporter::exportOnQueue() {
  const fs::path exportFolder = temporaryFolder_ / exportFolderName;
  // The folder holding the export folder first: nothing is made in a folder others may write.
  for (const auto& folder : {temporaryFolder_, exportFolder}) {
    if (auto created = platform::createPrivateDirectories(folder); !created) {
      return created.error();
    }
    if (auto checked = checkPrivateFolder(folder); !checked) return checked.error();
  }
  const fs::path destination = exportFolder / exportFileName(currentWallTime());
  std::string contents = noDiagnosticsText;
  if (!folder_.empty() && state_->files.hasAnyFile()) {
    std::error_code error;
    fs::remove(destination, error);
    if (error) {
      return runtime::Error{"Could not replace " + destination.string() + ": " + error.message() +
                            "."};
    }
    auto log = state_->files.concatenatedContents();
    if (!log) return log.error();
    contents = std::move(log).value();
  }
  if (!state_->unwritten.empty()) {
    if (contents == noDiagnosticsText) contents.clear();
    for (const auto& line : state_->unwritten) {
      contents += line;
      if (contents.back() != '\n') contents += '\n';
    }
  }
  if (auto written = platform::writeFileAtomically(destination, contents); !written) {
    return written.error();
  }
  return destination;
}

DiagnosticLogContents DiagnosticReporter::readEvents() {
  DiagnosticLogContents contents;
  if (folder_.empty()) return contents;
  queue_->runSync([&] { contents = state_->files.read(); });
  return contents;
}

void DiagnosticReporter::flush() {
  queue_->runSync([] {});
}

}  // namespace corvane::model
