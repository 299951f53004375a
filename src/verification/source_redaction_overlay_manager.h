#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "model/protected_redaction.h"
#include "model/uuid.h"
#include "platform/window_system.h"
#include "verification/source_mask_layout.h"
#include "verification/source_overlay_snapshot.h"
#include "verification/source_redaction_overlay_content.h"

namespace corvane::verification {

// The masks drawn over sensitive text on the real display while a protection engine runs: one
// click-through panel over the captured display, above normal windows on every desktop, shaped to
// the masks so nothing else of it reaches the screen. The engine's capture keeps the panel (its
// window number is an excepted window) and checks the masks in each frame against the snapshot
// reported here. The controller keeps one for the life of the process and hides it whenever a
// session starts or stops and at termination. Main actor.
class SourceRedactionOverlayManager {
 public:
  // Above ordinary windows (and below the presenter bar and the source guard).
  static constexpr platform::WindowLevel overlayLevel = platform::WindowLevel::floating;

  // Without a window system nothing can be shown: show() only hides.
  explicit SourceRedactionOverlayManager(
      std::shared_ptr<platform::WindowSystem> windowSystem = nullptr,
      SourceRedactionOverlayContentFactory contentFactory = {});

  // Draws `redactions` (normalised, top-left, relative to the display) over the display, replacing
  // what was shown, and returns the shown set. Masks that fall wholly outside the display are not
  // drawn and are left out of the set. A set that changes what is shown raises the revision; the
  // same set again keeps it. No masks, or a display that is not there, hides the panel.
  SourceOverlaySnapshot show(std::uint32_t displayID,
                             std::vector<model::ProtectedRedaction> redactions,
                             std::optional<std::int32_t> protectedApplicationPID = std::nullopt);
  // Takes the panel down (when one is shown) and forgets what it showed; harmless when nothing
  // is shown. Every call raises the revision, so a snapshot taken before never matches after.
  void hide();

  // The shown set under its revision.
  SourceOverlaySnapshot snapshot() const;
  // The panel's window number while it is on screen; 0 otherwise.
  std::uint32_t windowNumber() const;

  const std::shared_ptr<platform::TopLevelWindow>& panel() const { return panel_; }
  const std::vector<model::ProtectedRedaction>& redactions() const { return redactions_; }
  std::uint64_t revision() const { return revision_; }
  std::optional<std::int32_t> protectedApplicationPID() const { return protectedApplicationPID_; }
  const std::map<model::Uuid, int>& missedScanCounts() const { return missedScanCounts_; }
  const SourceMaskLayout& layout() const { return layout_; }

 private:
  void makePanel(const platform::Screen& screen);

  std::shared_ptr<platform::WindowSystem> windowSystem_;
  SourceRedactionOverlayContentFactory contentFactory_;
  std::shared_ptr<platform::TopLevelWindow> panel_;
  std::shared_ptr<SourceRedactionOverlayContent> overlayView_;
  std::uint32_t panelDisplayID_ = 0;
  std::vector<model::ProtectedRedaction> redactions_;
  std::vector<SourceMaskPlacement> placements_;
  SourceMaskLayout layout_;
  std::uint64_t revision_ = 0;
  std::optional<std::int32_t> protectedApplicationPID_;
  std::map<model::Uuid, int> missedScanCounts_;
};

}  // namespace corvane::verification
