#include "windows/general_settings_view_model.h"

namespace corvane::windows {

using model::StatusColor;

StatusRowModel PermissionPanelModel::status(bool permissionGranted,
                                            const std::optional<std::string>& lastScanError) {
  const std::string detail = lastScanError.value_or(defaultDetail);
  if (permissionGranted) {
    return {"checkmark.shield.fill", StatusColor::privacyGreen, "Screen Recording is enabled",
            detail};
  }
  return {"exclamationmark.triangle.fill", StatusColor::warningAmber,
          "Screen Recording is required", detail};
}

std::vector<PermissionButtonModel> PermissionPanelModel::buttons(bool permissionGranted) {
  std::vector<PermissionButtonModel> buttons{
      {"Open Settings",
       permissionGranted ? PermissionAction::openSettings : PermissionAction::requestPermission},
      {"Refresh", PermissionAction::refresh},
  };
  if (!permissionGranted) buttons.push_back({"Restart", PermissionAction::restart});
  return buttons;
}

std::vector<DisplayPickerEntry> ProtectionPanelModel::displayEntries(
    const std::vector<model::CaptureDisplay>& displays) {
  std::vector<DisplayPickerEntry> entries{{std::nullopt, mainDisplay}};
  for (const auto& display : displays) {
    entries.push_back({display.id, display.name + " \u00B7 " + display.details});
  }
  return entries;
}

std::optional<std::size_t> ProtectionPanelModel::selectedEntryIndex(
    const std::vector<DisplayPickerEntry>& entries, std::optional<std::uint32_t> selection) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].tag == selection) return i;
  }
  return std::nullopt;
}

}  // namespace corvane::windows
