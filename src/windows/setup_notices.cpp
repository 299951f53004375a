#include "windows/setup_notices.h"

#include <algorithm>

namespace corvane::windows {
namespace {

// What the quit button will end, read before pressing it: "Quit Previous Copy ends
// halvermoor (process 4242) and halvermoor (process 4250)."
std::string processesToEndText(const std::vector<std::string>& processes) {
  constexpr std::size_t kNamed = 6;
  std::string text = "Quit Previous Copy ends ";
  const std::size_t named = std::min(processes.size(), kNamed);
  for (std::size_t index = 0; index < named; ++index) {
    if (index > 0) text += index + 1 == processes.size() ? " and " : ", ";
    text += processes[index];
  }
  if (processes.size() > named) {
    text += " and " + std::to_string(processes.size() - named) + " more processes";
  }
  return text + ".";
}

}  // namespace

MigrationNoticeModel MigrationNoticeModel::make(
    const PreviousCopyStatus& status, bool isQuittingLegacyApp,
    const std::optional<std::string>& legacyAppQuitError) {
  MigrationNoticeModel notice;
  if (!status.needsAttention()) return notice;
  notice.showsPreviousCopy = true;
  notice.previousCopyText =
      status.isRunning
          ? "A previous copy is still running. Quit it before starting Protected Share, then "
            "uninstall it after Corvane is working."
          : "A previous copy is still installed. After confirming Corvane works, uninstall that "
            "copy so only one tray icon remains.";
  if (status.isRunning && !status.runningProcesses.empty()) {
    notice.previousCopyText += " " + processesToEndText(status.runningProcesses);
  }
  if (status.isRunning) {
    notice.buttons.push_back(isQuittingLegacyApp
                                 ? NoticeButtonModel{MigrationNoticeButton::quit,
                                                     "Quitting Previous Copy", "hourglass", false}
                                 : NoticeButtonModel{MigrationNoticeButton::quit,
                                                     "Quit Previous Copy", "xmark.circle", true});
  }
  if (status.location) {
    notice.buttons.push_back(
        {MigrationNoticeButton::reveal, "Show in File Manager", "folder", true});
  }
  notice.buttons.push_back(
      {MigrationNoticeButton::recheck, "Check Again", "arrow.clockwise", !isQuittingLegacyApp});
  notice.quitError = legacyAppQuitError;
  return notice;
}

}  // namespace corvane::windows
