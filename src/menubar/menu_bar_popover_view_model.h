#pragma once

#include <array>
#include <string>

#include "menubar/menu_bar_popover_tables.h"

namespace corvane::menubar {

// A tile of the popover's action rows.
struct PopoverTile {
  std::string title;
  std::string systemImage;
  bool isEnabled = true;
  bool operator==(const PopoverTile&) const = default;
};

// Everything the tray popover shows, as pure functions of one input: header, protection summary,
// primary control, tiles, tokens and footer. The texts, symbols and colours come from the
// ordered tables.
class MenuBarPopoverViewModel {
 public:
  static constexpr const char* productName = "Corvane";
  static constexpr const char* headerBadgeSystemImage = "rectangle.stack.badge.minus";
  static constexpr const char* excludedAppsTokenTitle = "Excluded Apps";
  static constexpr const char* excludedAppsTokenSystemImage = "square.grid.2x2";
  static constexpr const char* shareStatusTokenTitle = "Share Status";
  static constexpr double statusGlowOpacity = 0.45;

  explicit MenuBarPopoverViewModel(MenuBarPopoverInput input) : input_(std::move(input)) {}
  const MenuBarPopoverInput& input() const { return input_; }

  // Header.
  std::string headerSubtitle() const;
  PopoverColor statusColor() const;
  // The dot glows in its own colour during a session only.
  double statusGlowOpacityNow() const { return input_.isDemoModeOn ? statusGlowOpacity : 0; }

  // Protection summary.
  std::string summaryTitle() const;
  std::string summaryDetail() const;
  std::string summarySystemImage() const;
  PopoverColor summaryColor() const;
  bool showsPermissionRow() const { return !input_.screenRecordingPermissionGranted; }
  bool showsSpaceRecoveryRow() const { return input_.hasSourceContextRecoveryMessage; }
  // The "Excluded Apps" token: during a session the applications the session started with,
  // otherwise those enabled now (the session count is 0 whenever no session runs).
  int excludedAppsCount() const;
  // Follows the count on the Excluded Apps token: how many excluded apps are not installed
  // (" · 1 not installed"); empty when none is.
  std::string notInstalledAppsNote() const;
  std::string shareStatusValue() const;
  std::string shareStatusSystemImage() const;

  // Primary control.
  std::string primaryTitle() const;
  std::string primarySystemImage() const;
  std::string primaryDetail() const;
  std::string primaryTrailingSystemImage() const;
  PopoverColor primaryForegroundColor() const;
  std::array<PopoverColor, 2> primaryGradientColors() const;
  bool isPrimaryControlEnabled() const;
  PrimaryClick primaryClick() const;
  std::string primaryToolTip() const { return input_.statusMessage; }
  std::string primaryAccessibilityLabel() const { return primaryTitle() + ". " + primaryDetail(); }

  // Tiles: the standard row (local visibility, Settings), then the restore row.
  std::string localVisibilityActionTitle() const;
  std::string localVisibilityActionSystemImage() const;
  bool localVisibilityActionIsEnabled() const;
  LocalVisibilityAction localVisibilityAction() const;
  std::array<PopoverTile, 2> standardPrimaryActions() const;
  PopoverTile restoreTile() const { return {"Restore", "arrow.counterclockwise", true}; }

  // Footer: the preview item, a spacer, setup and settings.
  FooterPreviewItem footerPreviewItem() const;
  bool isFooterPreviewItemEnabled() const;
  static constexpr const char* setupButtonSystemImage = "checklist";
  static constexpr const char* setupButtonHelp = "Open setup checklist";
  static constexpr const char* settingsButtonSystemImage = "gearshape";
  static constexpr const char* settingsButtonHelp = "Open settings";

 private:
  bool isEnabled(TileEnabled enabled) const;

  MenuBarPopoverInput input_;
};

}  // namespace corvane::menubar
