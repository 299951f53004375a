#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/application_relauncher.h"
#include "platform/bundle.h"
#include "platform/file_revealer.h"

namespace corvane::wiring {

// How long a restarted copy waits for the one that started it before going on regardless.
inline constexpr double kEarlierCopyExitTimeoutSeconds = 10;

// The desktop's file manager (over D-Bus, else the folder opener, on a queue of its own) and the
// relaunch of the bundle's bin/corvane.
struct MaintenanceServices {
  std::shared_ptr<platform::FileRevealer> fileRevealer;
  std::shared_ptr<platform::ApplicationRelauncher> relauncher;
};
MaintenanceServices makeMaintenanceServices(const platform::Bundle& bundle,
                                            std::int32_t ownProcessIdentifier,
                                            std::string programSearchPath);

// In a copy started by a restart: waits, bounded, until the earlier copy has exited, so the two
// never meet over the single-instance lock. Does nothing without the flag.
void awaitEarlierCopy(const std::vector<std::string>& arguments);

}  // namespace corvane::wiring
