#pragma once

#include <memory>
#include <set>
#include <string>

#include "app/workspace_repair_defaults.h"
#include "platform/workspace.h"

namespace corvane::app {

// The applications an earlier version hid and did not show again. This version hides nothing;
// restore() shows them once and forgets them.
class AppHider {
 public:
  static constexpr const char* hiddenBundleIDsKey = "com.pemberquist.corvane.hiddenBundleIDs";

  // Loads the stored set (absent or not an array of strings reads as empty).
  AppHider(WorkspaceRepairDefaults defaults, std::shared_ptr<platform::Workspace> workspace);

  // Un-hides every running application in the set, then stores the set emptied. With an empty
  // set nothing is written.
  void restore();

  const std::set<std::string>& hiddenBundleIDs() const { return hiddenBundleIDs_; }

 private:
  void persistHiddenBundleIDs();

  WorkspaceRepairDefaults defaults_;
  std::shared_ptr<platform::Workspace> workspace_;
  std::set<std::string> hiddenBundleIDs_;
};

}  // namespace corvane::app
