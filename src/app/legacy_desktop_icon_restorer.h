#pragma once

#include <memory>
#include <string>

#include "app/workspace_repair_defaults.h"
#include "model/event_recorder.h"
#include "platform/desktop_icon_preference.h"

namespace corvane::app {

// Puts back the desktop's desktop-icon setting that an earlier version switched off and did not
// restore. The bookkeeping is forgotten only once the setting was written: after a tool that
// failed, or on a desktop whose setting we cannot write, it stays for the next launch, so the
// user's original value is never lost.
class LegacyDesktopIconRestorer {
 public:
  struct Keys {
    std::string didChangeKey;         // Bool: icons were switched off and not restored
    std::string hadOriginalValueKey;  // Bool: the desktop had an explicit value before
    std::string originalValueKey;     // Bool: that value
  };
  static Keys defaultKeys();

  // `preference` is null on a desktop whose setting is not known.
  LegacyDesktopIconRestorer(Keys keys, WorkspaceRepairDefaults defaults,
                            std::shared_ptr<platform::DesktopIconPreference> preference,
                            model::EventRecorder recorder);

  void restoreFromPreviousSession();

  const Keys& keys() const { return keys_; }

 private:
  void clearRestoreState(platform::DefaultsSuite& defaults);
  void record(const std::string& event, std::map<std::string, std::string> fields) const;

  Keys keys_;
  WorkspaceRepairDefaults defaults_;
  std::shared_ptr<platform::DesktopIconPreference> preference_;
  model::EventRecorder recorder_;
};

}  // namespace corvane::app
