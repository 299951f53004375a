#include "windows/setup_notices.h"

namespace corvane::windows {

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
