#pragma once

#include <array>
#include <string>

#include "menubar/popover_color.h"
#include "menubar/popover_table.h"

namespace corvane::menubar {

// A text that is fixed, or the controller's status message as it stands.
struct PopoverText {
  std::string text;
  bool isStatusMessage = false;

  static PopoverText statusMessage() { return {"", true}; }
  std::string resolved(const MenuBarPopoverInput& input) const {
    return isStatusMessage ? input.statusMessage : text;
  }
  bool operator==(const PopoverText&) const = default;
};

// A title with its symbol.
struct LabelledSymbol {
  std::string title;
  std::string systemImage;
  bool operator==(const LabelledSymbol&) const = default;
};

// What a click on the primary control does.
enum class PrimaryClick { nothing, showSetup, openWindowThenToggle, toggle };

struct PrimaryControlBehaviour {
  bool isEnabled = false;
  PrimaryClick click = PrimaryClick::nothing;
  bool operator==(const PrimaryControlBehaviour&) const = default;
};

// The first tile of the standard row: what it reads, when it is enabled and what it does.
enum class TileEnabled { yes, no, unlessOutputRetained };
enum class LocalVisibilityAction { showLiveWindow, requestHideLocally, openWindow };

struct LocalVisibilityTile {
  LabelledSymbol label;
  TileEnabled enabled = TileEnabled::yes;
  LocalVisibilityAction action = LocalVisibilityAction::openWindow;
  bool operator==(const LocalVisibilityTile&) const = default;
};

// The footer's first item: a plain label, or the "Open Preview" button.
struct FooterPreviewItem {
  LabelledSymbol label;
  bool isButton = false;
  TileEnabled enabled = TileEnabled::yes;
  bool operator==(const FooterPreviewItem&) const = default;
};

// Every ordered table of the tray popover. Several conditions can hold at once and the tables
// test them in different orders, so each table is kept exactly as it reads; the first row whose
// condition holds wins.
struct MenuBarPopoverTables {
  // The texts left to this application: the idle popover and the note shown during start-up.
  static constexpr const char* idleLine = "Ready for a protected share";
  static constexpr const char* idleSummaryDetail =
      "Share the Corvane Protected Share window in your call or recording.";
  static constexpr const char* idleSummarySystemImage = "shield";
  static constexpr const char* idlePrimaryDetail =
      "Opens the protected window, then starts sharing";
  static constexpr const char* startupNote = "Start-up checks are still running";

  static const PopoverTable<std::string>& headerSubtitle();
  static const PopoverTable<PopoverColor>& statusColor();
  static const PopoverTable<std::string>& summaryTitle();
  static const PopoverTable<PopoverText>& summaryDetail();
  static const PopoverTable<std::string>& summarySystemImage();
  static const PopoverTable<PopoverColor>& summaryColor();
  static const PopoverTable<LabelledSymbol>& shareStatus();
  static const PopoverTable<LabelledSymbol>& primaryLabel();
  static const PopoverTable<std::string>& primaryTrailingSystemImage();
  static const PopoverTable<std::string>& primaryDetail();
  static const PopoverTable<PopoverColor>& primaryForegroundColor();
  static const PopoverTable<std::array<PopoverColor, 2>>& primaryGradientColors();
  static const PopoverTable<PrimaryControlBehaviour>& primaryControl();
  static const PopoverTable<LocalVisibilityTile>& localVisibilityTile();
  static const PopoverTable<FooterPreviewItem>& footerPreviewItem();
};

}  // namespace corvane::menubar
