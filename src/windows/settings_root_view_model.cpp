#include "windows/settings_root_view_model.h"

namespace corvane::windows {

using model::SettingsSection;

SettingsStatusPill SettingsRootViewModel::statusPill(bool isProtectedShareHealthy,
                                                     bool isDemoModeOn) {
  if (isProtectedShareHealthy) {
    return {"Protected Share Live", "checkmark.shield.fill", model::StatusColor::privacyGreen};
  }
  if (isDemoModeOn) {
    return {"Needs Attention", "exclamationmark.triangle.fill", model::StatusColor::warningAmber};
  }
  return {"Protected Share Off", "shield", model::StatusColor::secondary};
}

std::vector<SettingsSidebarEntry> SettingsRootViewModel::sidebar(SettingsSection selected) {
  std::vector<SettingsSidebarEntry> entries;
  for (const auto section : model::visibleSettingsSections()) {
    entries.push_back({section, std::string(model::rawValue(section)),
                       std::string(model::settingsSectionSymbol(section)), section == selected});
  }
  return entries;
}

SettingsSectionLayout SettingsRootViewModel::sectionLayout(SettingsSection section) {
  switch (section) {
    case SettingsSection::general:
      return {SettingsSectionAlignment::leading, 18};
    case SettingsSection::protectedApps:
    case SettingsSection::sensitiveText:
      return {SettingsSectionAlignment::center, 18};
    case SettingsSection::alerts:
    case SettingsSection::advanced:
    case SettingsSection::about:
      return {SettingsSectionAlignment::leading, 12};
  }
  return {};
}

}  // namespace corvane::windows
