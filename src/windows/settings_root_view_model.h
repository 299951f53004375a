#pragma once

#include <string>
#include <vector>

#include "model/palette.h"
#include "model/settings_section.h"

namespace corvane::windows {

// The status pill of the settings window's header.
struct SettingsStatusPill {
  std::string title;
  std::string systemImage;
  model::StatusColor color = model::StatusColor::secondary;

  bool operator==(const SettingsStatusPill&) const = default;
};

// One sidebar row.
struct SettingsSidebarEntry {
  model::SettingsSection section = model::SettingsSection::general;
  std::string title;
  std::string systemImage;
  bool isSelected = false;

  bool operator==(const SettingsSidebarEntry&) const = default;
};

enum class SettingsSectionAlignment { leading, center };

// How the router stacks a section's panels.
struct SettingsSectionLayout {
  SettingsSectionAlignment alignment = SettingsSectionAlignment::leading;
  int spacing = 18;

  bool operator==(const SettingsSectionLayout&) const = default;
};

struct SettingsRootViewModel {
  static constexpr const char* heading = "Corvane Settings";

  // Live while the session is healthy, "Needs Attention" while it is on but not healthy, else off.
  static SettingsStatusPill statusPill(bool isProtectedShareHealthy, bool isDemoModeOn);
  // The listed sections in order; none is selected while an unlisted one is shown.
  static std::vector<SettingsSidebarEntry> sidebar(model::SettingsSection selected);
  static SettingsSectionLayout sectionLayout(model::SettingsSection section);
};

}  // namespace corvane::windows
