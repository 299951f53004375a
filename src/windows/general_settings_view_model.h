#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/capture_display.h"
#include "windows/status_row.h"

namespace corvane::windows {

// What a button of the permission panel does.
enum class PermissionAction {
  requestPermission,  // ask for screen capture; where it cannot be had the reason is published
  openSettings,       // the desktop's screen-capture settings, without asking
  refresh,            // read the permission state again
  restart,            // relaunch Corvane
};

struct PermissionButtonModel {
  std::string title;
  PermissionAction action = PermissionAction::refresh;

  bool operator==(const PermissionButtonModel&) const = default;
};

// The Screen Recording permission panel.
struct PermissionPanelModel {
  static constexpr const char* title = "Permissions";
  static constexpr const char* subtitle = "Capture the selected display locally.";
  static constexpr const char* defaultDetail =
      "Captures the selected display so Protected Share can publish the filtered viewport.";

  // The last failure text, when set, replaces the fixed detail.
  static StatusRowModel status(bool permissionGranted,
                               const std::optional<std::string>& lastScanError);
  // "Open Settings" (asks while the permission is missing), "Refresh", and "Restart" while it is
  // missing.
  static std::vector<PermissionButtonModel> buttons(bool permissionGranted);
};

// One entry of the display picker: absent tag is the main display.
struct DisplayPickerEntry {
  std::optional<std::uint32_t> tag;
  std::string text;

  bool operator==(const DisplayPickerEntry&) const = default;
};

// The capture-source card and the protection panel around it.
struct ProtectionPanelModel {
  static constexpr const char* title = "Protection";
  static constexpr const char* subtitle = "Workspace cleanup and secure sharing path.";
  static constexpr const char* sourceTitle = "Protected Share source";
  static constexpr const char* sourceSymbol = "display.2";
  static constexpr const char* refreshSymbol = "arrow.clockwise";
  static constexpr const char* refreshHelp = "Refresh displays";
  static constexpr const char* mainDisplay = "Main display";
  static constexpr const char* shareWindowOnlyTitle = "Protected Share window only";
  static constexpr const char* shareWindowOnlySymbol = "rectangle.on.rectangle.angled";
  static constexpr const char* shareWindowOnlyDetail =
      "Choose the Corvane Protected Share window in meeting and recording apps.";
  static constexpr const char* desktopIconsTitle = "Hide desktop icons in Protected Share";
  static constexpr const char* desktopIconsSubtitle =
      "Desktop files stay visible on your screen but are hidden from Protected Share.";
  static constexpr const char* desktopIconsSymbol = "desktopcomputer";

  // "Main display" first, then "name · details" per listed display in the controller's order.
  static std::vector<DisplayPickerEntry> displayEntries(
      const std::vector<model::CaptureDisplay>& displays);
  // The entry whose tag is the selection; none when the chosen display is not listed.
  static std::optional<std::size_t> selectedEntryIndex(
      const std::vector<DisplayPickerEntry>& entries, std::optional<std::uint32_t> selection);
};

}  // namespace corvane::windows
