#include "app/legacy_desktop_icon_restorer.h"

namespace corvane::app {

LegacyDesktopIconRestorer::Keys LegacyDesktopIconRestorer::defaultKeys() {
  return Keys{"com.pemberquist.corvane.didChangeDesktopIcons",
              "com.pemberquist.corvane.hadOriginalDesktopIconValue",
              "com.pemberquist.corvane.originalDesktopIconValue"};
}

LegacyDesktopIconRestorer::LegacyDesktopIconRestorer(
    Keys keys, WorkspaceRepairDefaults defaults,
    std::shared_ptr<platform::DesktopIconPreference> preference, model::EventRecorder recorder)
    : keys_(std::move(keys)),
      defaults_(std::move(defaults)),
      preference_(std::move(preference)),
      recorder_(std::move(recorder)) {}

void LegacyDesktopIconRestorer::restoreFromPreviousSession() {
  const auto defaults = defaults_();
  if (!defaults->boolValue(keys_.didChangeKey)) return;
  if (!preference_) {
    record("legacy_desktop_icons_restore_unsupported", {});
    return;
  }
  const auto written =
      defaults->boolValue(keys_.hadOriginalValueKey)
          ? preference_->setShowsDesktopIcons(defaults->boolValue(keys_.originalValueKey))
          : preference_->resetShowsDesktopIcons();
  if (!written) {
    record("legacy_desktop_icons_restore_failed",
           {{"desktop", preference_->desktopName()}, {"error", written.message()}});
    return;
  }
  // The desktops' file managers follow their setting live: nothing needs restarting.
  clearRestoreState(*defaults);
}

void LegacyDesktopIconRestorer::clearRestoreState(platform::DefaultsSuite& defaults) {
  defaults.set(keys_.didChangeKey, platform::Value(false));
  defaults.remove(keys_.hadOriginalValueKey);
  defaults.remove(keys_.originalValueKey);
}

void LegacyDesktopIconRestorer::record(const std::string& event,
                                       std::map<std::string, std::string> fields) const {
  if (recorder_) recorder_(event, std::move(fields));
}

}  // namespace corvane::app
