#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "model/protected_redaction.h"
#include "model/uuid.h"
#include "platform/window_system.h"

namespace corvane::verification {

// The masks drawn over sensitive text on the real display while a protection engine runs. The
// controller keeps one for the life of the process and hides it whenever a session starts or
// stops and at termination. Main actor.
class SourceRedactionOverlayManager {
 public:
  // Takes the panel down (when one is shown) and forgets what it showed; harmless when nothing
  // is shown. Every call raises the revision, so a snapshot taken before never matches after.
  void hide();

  const std::shared_ptr<platform::TopLevelWindow>& panel() const { return panel_; }
  const std::vector<model::ProtectedRedaction>& redactions() const { return redactions_; }
  std::uint64_t revision() const { return revision_; }
  std::optional<std::int32_t> protectedApplicationPID() const { return protectedApplicationPID_; }
  const std::map<model::Uuid, int>& missedScanCounts() const { return missedScanCounts_; }

 private:
  std::shared_ptr<platform::TopLevelWindow> panel_;
  std::shared_ptr<platform::ContentView> overlayView_;
  std::vector<model::ProtectedRedaction> redactions_;
  std::uint64_t revision_ = 0;
  std::optional<std::int32_t> protectedApplicationPID_;
  std::map<model::Uuid, int> missedScanCounts_;
};

}  // namespace corvane::verification
