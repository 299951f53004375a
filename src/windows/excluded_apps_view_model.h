#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/protected_app.h"
#include "platform/desktop_entry.h"

namespace corvane::windows {

// Finds the installed application with an application id: its desktop entry, or none.
using ApplicationEntryLookup =
    std::function<std::optional<platform::DesktopEntry>(const std::string& id)>;

// Looks the id up in the XDG application directories each time it is asked.
ApplicationEntryLookup installedApplicationLookup(
    std::vector<std::filesystem::path> applicationDirectories);

// What a row draws as the application's icon: the installed entry's icon (a theme icon name or
// an absolute file) when it names one, else, and whenever that cannot be drawn, the stored
// symbol on a tinted tile.
struct ExcludedAppIcon {
  std::optional<std::string> entryIcon;
  std::string systemImage;

  bool operator==(const ExcludedAppIcon&) const = default;
};

// One row of the list.
struct ExcludedAppRow {
  std::string id;
  std::string displayName;
  ExcludedAppIcon icon;
  bool isOn = false;
  // No installed application has the id: no window can be told to be its, so it is not
  // protected, whatever the switch says.
  bool isInstalled = true;
  bool hasDividerBelow = false;

  // The line under the name: the id, and for an id that names no installed application that it
  // is not installed (nothing of it can be shared).
  std::string detailText() const { return isInstalled ? id : id + " \u00b7 Not installed"; }
  // The switch's accessibility hint, and the remove button's label and help.
  std::string toggleHint() const { return "Hide " + displayName + " from Protected Share"; }
  std::string removeLabel() const { return "Remove " + displayName; }
  bool operator==(const ExcludedAppRow&) const = default;
};

// The Excluded Apps section: pure functions of the controller's list and import message, with
// names and icons looked up afresh every time rows are made.
class ExcludedAppsViewModel {
 public:
  static constexpr const char* title = "Excluded apps";
  static constexpr const char* subtitle = "Apps hidden from Protected Share.";
  static constexpr const char* optionsSymbol = "ellipsis.circle";
  static constexpr const char* optionsHelp = "Excluded app options";
  static constexpr const char* restoreDefaultsTitle = "Restore Defaults";
  static constexpr const char* restoreDefaultsSymbol = "arrow.counterclockwise";
  static constexpr const char* addAppTitle = "Add App";
  static constexpr const char* addAppSymbol = "plus";
  static constexpr const char* removeSymbol = "trash";
  static constexpr const char* emptyTitle = "No Excluded Apps";
  static constexpr const char* emptySymbol = "app.badge";
  static constexpr const char* emptyDescription = "Add an app to keep it out of Protected Share.";
  static constexpr const char* importAlertTitle = "Some Apps Weren\u2019t Added";
  static constexpr const char* importAlertAction = "OK";
  static constexpr const char* restoreConfirmationTitle = "Restore Default Excluded Apps?";
  static constexpr const char* restoreConfirmationMessage =
      "Custom apps will be removed and the default list restored.";
  static constexpr const char* cancelTitle = "Cancel";

  // Said under the title while installed applications are polled (`reason` names why), so that a
  // user choosing applications knows a new one is found within seconds.
  static std::optional<std::string> pollingNote(const std::optional<std::string>& reason) {
    if (!reason) return std::nullopt;
    return "Installed applications are polled every few seconds because " + *reason + ".";
  }

  ExcludedAppsViewModel(std::vector<model::ProtectedApp> apps,
                        std::optional<std::string> importError, ApplicationEntryLookup lookup);

  // "N active": the exclusions that are on and name an installed application.
  std::string activeCountText() const;
  bool isEmpty() const { return apps_.empty(); }
  // In list order; every row but the last is followed by a divider (the last is the one whose id
  // is the last entry's).
  std::vector<ExcludedAppRow> rows() const { return rows(apps_.size()); }
  // The first `count` rows only: the others' entries are not looked up.
  std::vector<ExcludedAppRow> rows(std::size_t count) const { return rows(0, count); }
  // At most `count` rows from the one at `first` on (the next page below rows already shown).
  std::vector<ExcludedAppRow> rows(std::size_t first, std::size_t count) const;
  std::size_t count() const { return apps_.size(); }
  bool isImportAlertPresented() const { return importError_.has_value(); }
  // The controller's message as it stands; empty when there is none.
  std::string importAlertMessage() const { return importError_.value_or(""); }

 private:
  std::vector<model::ProtectedApp> apps_;
  std::optional<std::string> importError_;
  ApplicationEntryLookup lookup_;
};

}  // namespace corvane::windows
