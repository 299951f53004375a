#pragma once

#include <filesystem>

#include "runtime/result.h"

namespace corvane::operations {

// What an installer run cut short (a hard kill, a power cut) can leave beside the install folder
// "<name>": the new install's copy "<name>.incoming-<stamp>" and the old install moved aside as
// "<name>.previous-<stamp>". Called at start, before anything reads the install: when the install
// folder is missing the newest old install is moved back; then every leftover copy and backup is
// removed. Returns how many leftovers were put right (0 when there were none).
runtime::Result<int> reconcileInterruptedInstall(const std::filesystem::path& currentApp);

}  // namespace corvane::operations
