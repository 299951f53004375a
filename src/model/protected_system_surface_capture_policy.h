#pragma once

#include <set>
#include <string>

namespace corvane::model {

// The system surfaces that every capture leaves out, whatever the user chose.
struct ProtectedSystemSurfaceCapturePolicy {
  // Application ids of the lock and login screens, authentication and password prompts,
  // notification daemons and screenshot tools of the common Linux desktops.
  static const std::set<std::string>& alwaysExcludedBundleIDs();
};

}  // namespace corvane::model
