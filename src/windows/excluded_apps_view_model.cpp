#include "windows/excluded_apps_view_model.h"

#include <algorithm>

#include "platform/desktop_entry_index.h"

namespace corvane::windows {

ApplicationEntryLookup installedApplicationLookup(
    std::vector<std::filesystem::path> applicationDirectories) {
  return [directories = std::move(applicationDirectories)](const std::string& id) {
    return platform::DesktopEntryIndex::find(id, directories);
  };
}

ExcludedAppsViewModel::ExcludedAppsViewModel(std::vector<model::ProtectedApp> apps,
                                             std::optional<std::string> importError,
                                             ApplicationEntryLookup lookup)
    : apps_(std::move(apps)), importError_(std::move(importError)), lookup_(std::move(lookup)) {}

std::string ExcludedAppsViewModel::activeCountText() const {
  // Every switched-on application is asked once whether it is installed; no row is made.
  const auto active = std::count_if(apps_.begin(), apps_.end(), [this](const auto& app) {
    return app.isEnabled && (!lookup_ || lookup_(app.id).has_value());
  });
  return std::to_string(active) + " active";
}

std::vector<ExcludedAppRow> ExcludedAppsViewModel::rows(std::size_t first,
                                                        std::size_t count) const {
  std::vector<ExcludedAppRow> rows;
  const std::size_t end = first + std::min(count, apps_.size() - std::min(first, apps_.size()));
  for (std::size_t i = first; i < end; ++i) {
    const auto& app = apps_[i];
    ExcludedAppRow row;
    row.id = app.id;
    row.displayName = app.name;
    row.icon.systemImage = app.systemImage;
    row.isOn = app.isEnabled;
    row.hasDividerBelow = app.id != apps_.back().id;
    if (auto entry = lookup_ ? lookup_(app.id) : std::nullopt) {
      row.displayName = entry->name;
      if (entry->icon && !entry->icon->empty()) row.icon.entryIcon = entry->icon;
    } else {
      row.isInstalled = !lookup_;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace corvane::windows
