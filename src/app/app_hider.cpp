#include "app/app_hider.h"

namespace corvane::app {

AppHider::AppHider(WorkspaceRepairDefaults defaults, std::shared_ptr<platform::Workspace> workspace)
    : defaults_(std::move(defaults)), workspace_(std::move(workspace)) {
  const auto stored = defaults_()->object(hiddenBundleIDsKey);
  const auto* array = stored ? stored->asArray() : nullptr;
  if (array == nullptr) return;
  std::set<std::string> identifiers;
  for (const auto& value : *array) {
    // Like a string-array read: one element of another type makes the whole value unreadable.
    if (value.asString() == nullptr) return;
    identifiers.insert(*value.asString());
  }
  hiddenBundleIDs_ = std::move(identifiers);
}

void AppHider::restore() {
  if (hiddenBundleIDs_.empty()) return;
  if (workspace_) {
    for (const auto& application : workspace_->runningApplications()) {
      if (application.bundleIdentifier.empty()) continue;
      if (hiddenBundleIDs_.contains(application.bundleIdentifier)) {
        workspace_->unhide(application.processIdentifier);
      }
    }
  }
  hiddenBundleIDs_.clear();
  persistHiddenBundleIDs();
}

void AppHider::persistHiddenBundleIDs() {
  platform::Value::Array sorted;  // a std::set iterates in ascending order
  for (const auto& identifier : hiddenBundleIDs_) sorted.emplace_back(identifier);
  defaults_()->set(hiddenBundleIDsKey, platform::Value(std::move(sorted)));
}

}  // namespace corvane::app
