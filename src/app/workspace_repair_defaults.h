#pragma once

#include <functional>
#include <memory>

#include "platform/defaults_store.h"

namespace corvane::app {

// Opens the suite that holds what an earlier version changed in the workspace: the application's
// own suite (never a QA suite), opened afresh on every access.
using WorkspaceRepairDefaults = std::function<std::shared_ptr<platform::DefaultsSuite>()>;

WorkspaceRepairDefaults workspaceRepairDefaults(std::shared_ptr<platform::DefaultsStore> store);

}  // namespace corvane::app
