#include "verification/source_redaction_overlay_manager.h"

#include "runtime/main_actor.h"

namespace corvane::verification {

using platform::Rect;

SourceRedactionOverlayManager::SourceRedactionOverlayManager(
    std::shared_ptr<platform::WindowSystem> windowSystem,
    SourceRedactionOverlayContentFactory contentFactory)
    : windowSystem_(std::move(windowSystem)), contentFactory_(std::move(contentFactory)) {}

SourceOverlaySnapshot SourceRedactionOverlayManager::show(
    std::uint32_t displayID, std::vector<model::ProtectedRedaction> redactions,
    std::optional<std::int32_t> protectedApplicationPID) {
  runtime::assertMainActor();
  const auto screen = windowSystem_ ? windowSystem_->screen(displayID) : std::nullopt;
  if (!screen || screen->frame.isEmpty() || redactions.empty()) {
    hide();
    return snapshot();
  }
  if (panel_ && panelDisplayID_ != displayID) hide();
  if (!panel_) makePanel(*screen);
  protectedApplicationPID_ = protectedApplicationPID;

  SourceMaskScene scene{screen->frame, screen->frame, screen->backingScaleFactor,
                        std::move(redactions)};
  auto measure = [view = overlayView_](const std::string& text, double fontSize) {
    return view ? view->measureLabel(text, fontSize) : platform::Size{};
  };
  SourceMaskLayout layout = SourceMaskLayoutModel::layoutWithoutOverlaps(scene, measure);
  std::vector<model::ProtectedRedaction> shown;
  std::vector<Rect> shape;
  for (const auto& mask : layout.masks) {
    shown.push_back(scene.redactions[mask.redactionIndex]);
    shape.push_back(mask.rect);
  }
  std::vector<SourceMaskPlacement> placements = SourceMaskLayoutModel::placements(layout, scene);
  if (shown.empty()) {
    hide();
    return snapshot();
  }

  const bool changed = shown != redactions_ || placements != placements_ || !panel_->isVisible();
  panel_->setFrame(screen->frame);
  panel_->setShape(shape);
  if (overlayView_) overlayView_->setLayout(layout);
  panel_->orderFrontRegardless();
  if (overlayView_ && overlayView_->contentView()) overlayView_->contentView()->setNeedsDisplay();
  layout_ = std::move(layout);
  if (changed) {
    redactions_ = std::move(shown);
    placements_ = std::move(placements);
    revision_ += 1;
  }
  return snapshot();
}

void SourceRedactionOverlayManager::hide() {
  runtime::assertMainActor();
  if (panel_) {
    panel_->orderOut();
    panel_->setContentView(nullptr);
    panel_->close();
  }
  panel_ = nullptr;
  overlayView_ = nullptr;
  panelDisplayID_ = 0;
  redactions_.clear();
  placements_.clear();
  layout_ = {};
  missedScanCounts_.clear();
  protectedApplicationPID_.reset();
  revision_ += 1;  // unsigned: wraps
}

SourceOverlaySnapshot SourceRedactionOverlayManager::snapshot() const {
  return {revision_, redactions_, placements_};
}

std::uint32_t SourceRedactionOverlayManager::windowNumber() const {
  return panel_ && panel_->isVisible() ? panel_->windowNumber() : 0;
}

void SourceRedactionOverlayManager::makePanel(const platform::Screen& screen) {
  panel_ = windowSystem_->makeWindow(screen.frame, platform::WindowStyle::borderless);
  panelDisplayID_ = screen.displayID;
  panel_->setLevel(overlayLevel);
  panel_->setCollectionBehavior(platform::kFloatingPanelBehavior);
  panel_->setListedInWindowsMenu(false);
  panel_->setIgnoresMouseEvents(true);
  panel_->setTakesFocusOnlyOnClick(true);
  panel_->setCanBeOrderedFront(false);
  if (contentFactory_) overlayView_ = contentFactory_();
  panel_->setContentView(overlayView_ ? overlayView_->contentView() : nullptr);
}

}  // namespace corvane::verification
