#include "model/settings_section.h"

namespace corvane::model {

std::string_view settingsSectionSymbol(SettingsSection section) {
  switch (section) {
    case SettingsSection::general:
      return "rectangle.stack.badge.minus";
    case SettingsSection::protectedApps:
      return "square.grid.2x2";
    case SettingsSection::sensitiveText:
      return "textformat";
    case SettingsSection::alerts:
      return "bell";
    case SettingsSection::advanced:
      return "gearshape";
    case SettingsSection::about:
      return "info.circle";
  }
  return {};
}

std::vector<SettingsSection> visibleSettingsSections() {
  std::vector<SettingsSection> sections;
  for (const auto section : allCases<SettingsSection>()) {
    if (section != SettingsSection::sensitiveText) sections.push_back(section);
  }
  return sections;
}

}  // namespace corvane::model
