#pragma once

#include <unistd.h>

#include <memory>

#include "capture/protected_share_engine.h"
#include "platform/x11/x11_desktop.h"

namespace corvane::platform::x11::testing {

// An engine on the real desktop, as this process.
inline std::shared_ptr<capture::ProtectedShareEngine> engineOn(Desktop desktop) {
  capture::ProtectedShareEngineServices services;
  services.desktop = std::move(desktop);
  services.ownBundleIdentifier = "org.example.Corvane";
  services.ownProcessIdentifier = static_cast<std::int32_t>(getpid());
  return capture::ProtectedShareEngine::make(services);
}

}  // namespace corvane::platform::x11::testing
