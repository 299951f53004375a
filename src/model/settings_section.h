#pragma once

#include <array>
#include <string_view>
#include <vector>

#include "model/enum_coding.h"

namespace corvane::model {

// The settings window's sections. The raw value of each is its title in the sidebar; the
// controller publishes the selected one (never persisted).
enum class SettingsSection { general, protectedApps, sensitiveText, alerts, advanced, about };

template <>
struct EnumCases<SettingsSection> {
  static constexpr std::array cases{
      EnumCase<SettingsSection>{SettingsSection::general, "General"},
      EnumCase<SettingsSection>{SettingsSection::protectedApps, "Excluded Apps"},
      EnumCase<SettingsSection>{SettingsSection::sensitiveText, "Sensitive Text"},
      EnumCase<SettingsSection>{SettingsSection::alerts, "Alerts"},
      EnumCase<SettingsSection>{SettingsSection::advanced, "Advanced"},
      EnumCase<SettingsSection>{SettingsSection::about, "About"},
  };
};

// The symbol shown beside the section's title in the sidebar.
std::string_view settingsSectionSymbol(SettingsSection section);

// The sections listed in the sidebar, in order: every section but sensitiveText, which is still
// shown whenever it is selected by code.
std::vector<SettingsSection> visibleSettingsSections();

}  // namespace corvane::model
