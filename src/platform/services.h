#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/bundle.h"
#include "platform/defaults_store.h"
#include "platform/files.h"
#include "platform/permissions.h"

namespace corvane::platform {

// The few process-wide platform services that the shared helpers reach without an owner to ask:
// the defaults store behind the settings, the input-idleness source, the running bundle, the
// folders and the command line. The app installs the real ones at start; tests install theirs.
struct PlatformServices {
  std::shared_ptr<DefaultsStore> defaults;
  std::shared_ptr<InputIdleness> inputIdleness;
  std::shared_ptr<const Bundle> mainBundle;
  WellKnownFolders folders;
  std::vector<std::string> arguments;
};

// Installs the services and returns the previous ones.
PlatformServices installPlatformServices(PlatformServices services);
// A copy of the installed services (empty pointers when nothing is installed).
PlatformServices platformServices();

class ScopedPlatformServices {
 public:
  explicit ScopedPlatformServices(PlatformServices services)
      : previous_(installPlatformServices(std::move(services))) {}
  ~ScopedPlatformServices() { installPlatformServices(std::move(previous_)); }
  ScopedPlatformServices(const ScopedPlatformServices&) = delete;
  ScopedPlatformServices& operator=(const ScopedPlatformServices&) = delete;

 private:
  PlatformServices previous_;
};

}  // namespace corvane::platform
