#pragma once

#include <optional>
#include <string>
#include <vector>

#include "model/menu_bar_access_state.h"
#include "model/settings_store_problem.h"
#include "windows/setup_window_controller.h"

namespace corvane::windows {

enum class MigrationNoticeButton { quit, reveal, recheck };

struct NoticeButtonModel {
  MigrationNoticeButton kind = MigrationNoticeButton::recheck;
  std::string title;
  std::string systemImage;
  bool isEnabled = true;

  bool operator==(const NoticeButtonModel&) const = default;
};

// The notice about the move from the former brand. The part below the divider (what to do with
// the previous copy, its buttons and why the quit failed) shows only while a previous copy is
// installed or running.
struct MigrationNoticeModel {
  static constexpr const char* symbol = "arrow.triangle.2.circlepath";
  static constexpr const char* heading = "One-time permission review";
  static constexpr const char* explanation =
      "Corvane is the new product name. Its established signing identity is preserved so "
      "existing Screen Recording access can carry forward. Confirm the permission and Excluded "
      "Apps below before your next live session.";

  bool showsPreviousCopy = false;
  std::string previousCopyText;
  std::vector<NoticeButtonModel> buttons;
  // Shown in red under the buttons.
  std::optional<std::string> quitError;

  bool operator==(const MigrationNoticeModel&) const = default;

  static MigrationNoticeModel make(const PreviousCopyStatus& status, bool isQuittingLegacyApp,
                                   const std::optional<std::string>& legacyAppQuitError);
};

// The notice shown while the tray icon cannot be seen and the taskbar window stands in for it:
// a tray that did not show the icon, or a desktop without any system tray.
struct MenuBarFallbackNotice {
  static constexpr const char* symbol = "menubar.rectangle";
  static constexpr const char* heading = "System tray space is full";
  static constexpr const char* explanation =
      "The panel hid the Corvane icon. Corvane remains available from the taskbar for this "
      "session. "
      "Hide an unused tray icon, then relaunch Corvane to restore the icon.";
  static constexpr const char* noTrayHeading = "This desktop has no system tray";
  static constexpr const char* noTrayExplanation =
      "Corvane remains available from the taskbar for this session. To keep its icon at hand, "
      "add a system tray to your panel (on GNOME, the AppIndicator extension), then relaunch "
      "Corvane.";

  std::string headingText;
  std::string explanationText;

  static MenuBarFallbackNotice make(model::MenuBarAccessState state) {
    if (state == model::MenuBarAccessState::noSystemTray) return {noTrayHeading, noTrayExplanation};
    return {heading, explanation};
  }
  bool operator==(const MenuBarFallbackNotice&) const = default;
};

// The notice shown when the settings file could not be read and the settings started from
// their defaults this run.
struct SettingsResetNotice {
  static constexpr const char* symbol = "exclamationmark.triangle.fill";
  static constexpr const char* heading = "Your settings were reset";
  static constexpr const char* advice =
      "Review Excluded Apps and the other settings before your next live session.";
  static std::string explanation() {
    return std::string(model::SettingsStoreProblem::resetSentence) + " " + advice;
  }

  // Where the old file was kept, when it could be kept.
  static std::optional<std::string> keptAsText(const model::SettingsStoreProblem& problem) {
    if (!problem.keptAs) return std::nullopt;
    return "The old settings file was kept at " + problem.keptAs->string() + ".";
  }
};

}  // namespace corvane::windows
