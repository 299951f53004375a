#include "share_window/protected_share_window_manager.h"

#include <algorithm>
#include <cmath>

#include "runtime/main_actor.h"
#include "runtime/runtime.h"
#include "share_window/window_geometry.h"

namespace corvane::share_window {

using platform::CollectionBehavior;
using platform::Rect;
using platform::Screen;
using platform::SharingType;
using platform::Size;
using platform::WindowLevel;
using platform::WindowStyle;

namespace {

constexpr Size kPreviewSize{960, 600};
constexpr Size kPreviewMinSize{480, 300};
constexpr Size kLiveMinSize{320, 180};

constexpr CollectionBehavior kPreviewBehavior = CollectionBehavior::managed |
                                                CollectionBehavior::participatesInCycle |
                                                CollectionBehavior::fullScreenPrimary;
// The live window: managed and full-screen capable, and on every desktop for the whole session,
// since a window on another desktop is unmapped and no recorder can read it; a presenter who
// switches desktops keeps sharing.
constexpr CollectionBehavior kLiveBehavior = CollectionBehavior::managed |
                                             CollectionBehavior::fullScreenPrimary |
                                             CollectionBehavior::canJoinAllSpaces;
// The session window before its first frame: on no taskbar or switcher, over full-screen windows,
// and on every desktop already.
constexpr CollectionBehavior kSessionBehavior =
    CollectionBehavior::managed | CollectionBehavior::ignoresCycle |
    CollectionBehavior::fullScreenAuxiliary | CollectionBehavior::canJoinAllSpaces;
// Hidden on this screen: still shared, but out of window cycling and on every desktop, so the
// meeting application keeps receiving it whatever desktop the presenter is on.
constexpr CollectionBehavior kHiddenBehavior = CollectionBehavior::canJoinAllSpaces |
                                               CollectionBehavior::stationary |
                                               CollectionBehavior::ignoresCycle;

}  // namespace

ProtectedShareWindowManager::ProtectedShareWindowManager(
    std::shared_ptr<platform::WindowSystem> windowSystem,
    ProtectedShareContentFactory contentFactory)
    : windowSystem_(std::move(windowSystem)), contentFactory_(std::move(contentFactory)) {}

void ProtectedShareWindowManager::setDirectShareTestState(DirectShareTestState state) {
  runtime::assertMainActor();
  directShareTestState_ = std::move(state);
  refreshWindowOrderingPolicy();
}

std::shared_ptr<platform::TopLevelWindow> ProtectedShareWindowManager::ensureWindow(
    const std::shared_ptr<ProtectedShareWindowController>& controller) {
  runtime::assertMainActor();
  if (controller) controller_ = controller;
  if (window_) return window_;

  window_ = windowSystem_->makeWindow(Rect{{0, 0}, kPreviewSize}, WindowStyle::titled);
  if (auto screen = windowSystem_->mainScreen()) {
    const Rect bounds = contentBounds(screen->visibleFrame, window_->frameExtents());
    window_->setFrame(
        actualSizeFrame(kPreviewSize, bounds,
                        {bounds.minX() + bounds.width() / 2, bounds.minY() + bounds.height() / 2}));
  }
  std::weak_ptr<ProtectedShareWindowManager> weakSelf = weak_from_this();
  frameExtentsObservation_ = window_->observeFrameExtents([weakSelf] {
    runtime::postToMain(weakSelf,
                        [](ProtectedShareWindowManager& self) { self.keepWindowInside(true); });
  });
  window_->setTitle(kProtectedShareWindowTitle);
  window_->setSharingType(SharingType::none);
  window_->setMapsOnlyWhenShared(true);
  window_->setMinSize(kPreviewMinSize);
  accessory_ = std::make_shared<ProtectedShareTitlebarAccessory>();
  if (contentFactory_) window_->setContentView(contentFactory_(*this, controller_.lock()));
  refreshWindowOrderingPolicy();
  return window_;
}

void ProtectedShareWindowManager::configurePreview(platform::TopLevelWindow& window) {
  runtime::assertMainActor();
  resetSessionState();
  window.setStyle(WindowStyle::titled);
  window.setTitle(kProtectedShareWindowTitle);
  window.setLevel(WindowLevel::normal);
  window.setCollectionBehavior(kPreviewBehavior);
  window.setIgnoresMouseEvents(false);
  window.setSharingType(SharingType::none);
  // The preview never draws a frame (the view draws the surface only while live), so it may be
  // seen on this screen; it is still not offered for sharing.
  window.setMapsOnlyWhenShared(false);
  window.setMinSize(kPreviewMinSize);
  auto screen = windowSystem_->screenOverlappingMost(window.frame());
  if (!screen) screen = windowSystem_->mainScreen();
  if (screen) {
    Rect frame = window.frame();
    if (frame.width() < kPreviewMinSize.width || frame.height() < kPreviewMinSize.height) {
      frame.size = kPreviewSize;
    }
    window.setFrame(
        clampedToBounds(frame, contentBounds(screen->visibleFrame, window.frameExtents())));
  }
  refreshWindowOrderingPolicy();
  setPresentation(ProtectedSharePresentation::preview);
}

bool ProtectedShareWindowManager::beginSession(
    const std::shared_ptr<ProtectedShareWindowController>& controller,
    std::optional<std::uint32_t> displayID) {
  runtime::assertMainActor();
  auto window = ensureWindow(controller);
  std::optional<Screen> screen;
  if (displayID) screen = windowSystem_->screen(*displayID);
  if (!screen) screen = windowSystem_->mainScreen();
  if (!screen) return false;

  resetSessionState();
  isSessionWindow_ = true;
  sessionDisplayID_ = screen->displayID;
  // Nothing of the window may be seen or captured before the first filtered frame: not shared,
  // and unmapped while not shared.
  window->setSharingType(SharingType::none);
  window->setMapsOnlyWhenShared(true);
  window->setStyle(WindowStyle::borderless);
  window->setLevel(WindowLevel::normal);
  window->setCollectionBehavior(kSessionBehavior);
  window->setIgnoresMouseEvents(true);
  window->setMinSize(Size{});
  window->setFrame(screen->frame);
  auto viewport = viewport_.value();
  viewport.pixelSize = Size{};
  viewport.scale = 1.0;
  viewport_.setIfChanged(viewport);
  refreshWindowOrderingPolicy();
  window->orderFrontRegardless();
  setPresentation(ProtectedSharePresentation::sessionWaiting);
  refreshStatus();
  return window->isVisible() && window->windowNumber() != 0;
}

bool ProtectedShareWindowManager::publishLiveFrame(Size pixelSize) {
  runtime::assertMainActor();
  if (!isSessionWindow_ || !window_) return false;
  if (window_->windowNumber() < 1 || !window_->isVisible() || !window_->contentView()) return false;
  if (!pixelSize.isPositive()) return window_->sharingType() == SharingType::readOnly;

  if (hasPublishedLiveFrame_ && window_->sharingType() == SharingType::readOnly) {
    // Already live: a new frame size (the display changed) only re-sizes a fitted window.
    if (!(viewport_.value().pixelSize == pixelSize)) {
      auto viewport = viewport_.value();
      viewport.pixelSize = pixelSize;
      viewport_.set(viewport);
      if (!isLiveWindowHiddenLocally_) {
        if (auto screen = screenForWindow()) applySizing(*screen);
        compareWithRecordedSize();
      }
    }
    return window_->isVisible();
  }

  auto screen = screenForWindow();
  if (!screen) {
    window_->setSharingType(SharingType::none);
    return false;
  }
  // Become the live output first (titled, sized for the frame), then share it.
  window_->setStyle(WindowStyle::titled);
  window_->setTitle(kProtectedShareWindowTitle);
  window_->setLevel(WindowLevel::normal);
  window_->setCollectionBehavior(kLiveBehavior);
  window_->setIgnoresMouseEvents(false);
  window_->setMinSize(kLiveMinSize);
  auto viewport = viewport_.value();
  viewport.pixelSize = pixelSize;
  viewport_.setIfChanged(viewport);
  applySizing(*screen);

  window_->setSharingType(SharingType::readOnly);
  window_->orderFrontRegardless();
  if (!window_->isVisible() || !window_->isMapped()) {
    window_->setSharingType(SharingType::none);
    return false;
  }
  hasPublishedLiveFrame_ = true;
  recordedSize_ = window_->frame().size;
  refreshWindowOrderingPolicy();
  setPresentation(ProtectedSharePresentation::live);
  refreshStatus();
  return true;
}

void ProtectedShareWindowManager::endSession(bool closeWindow) {
  runtime::assertMainActor();
  if (window_) {
    window_->setShownLocally(true);
    window_->setSharingType(SharingType::none);
    window_->setMapsOnlyWhenShared(true);
    if (closeWindow) window_->orderOut();
  }
  resetSessionState();
  refreshWindowOrderingPolicy();
  // Left ordered in, the window is unmapped now (not shared); nothing of the session shows.
  setPresentation(ProtectedSharePresentation::none);
  refreshStatus();
}

void ProtectedShareWindowManager::close() {
  runtime::assertMainActor();
  if (window_) {
    window_->setShownLocally(true);
    window_->setSharingType(SharingType::none);
    window_->orderOut();
    window_->close();
  }
  window_.reset();
  resetSessionState();
  setPresentation(ProtectedSharePresentation::none);
  if (accessory_) accessory_->setStatus(ProtectedShareWindowStatus::off);
  accessory_.reset();
}

bool ProtectedShareWindowManager::hideLiveWindowLocally() {
  runtime::assertMainActor();
  if (!window_ || !isSessionWindow_ || !hasPublishedLiveFrame_) return false;
  if (directShareTestState_.retainsOutput()) return false;
  if (!isLiveWindowHiddenLocally_) {
    savedFrame_ = window_->frame();
    savedMinSize_ = window_->minSize();
  }
  window_->setLevel(WindowLevel::belowDesktop);
  window_->setIgnoresMouseEvents(true);
  window_->setCollectionBehavior(kHiddenBehavior);
  isLiveWindowHiddenLocally_ = true;
  refreshWindowOrderingPolicy();
  // Out of sight, yet mapped and whole on the screen: a recorder keeps receiving it.
  window_->setShownLocally(false);
  setPresentation(ProtectedSharePresentation::liveHidden);
  return window_->isVisible() && window_->sharingType() == SharingType::readOnly &&
         !window_->isShownLocally();
}

bool ProtectedShareWindowManager::restoreLiveWindowFrame(platform::TopLevelWindow& window) {
  runtime::assertMainActor();
  Rect frame = savedFrame_.value_or(window.frame());
  auto screen = windowSystem_->screenOverlappingMost(frame);
  if (!screen) screen = windowSystem_->mainScreen();
  if (!screen) return false;
  const Rect bounds = contentBounds(screen->visibleFrame, window.frameExtents());
  Size minSize = savedMinSize_.value_or(window.minSize());
  minSize.width = std::min(minSize.width, bounds.width());
  minSize.height = std::min(minSize.height, bounds.height());
  window.setShownLocally(true);
  window.setMinSize(minSize);
  window.setFrame(clampedToBounds(frame, bounds));
  savedFrame_.reset();
  savedMinSize_.reset();
  return windowSystem_->screenOverlappingMost(window.frame()).has_value();
}

bool ProtectedShareWindowManager::showLiveWindowLocally() {
  runtime::assertMainActor();
  if (directShareTestState_.retainsOutput()) return false;
  if (!window_ || !hasPublishedLiveFrame_) return false;
  if (!restoreLiveWindowFrame(*window_)) return false;
  isLiveWindowHiddenLocally_ = false;
  refreshWindowOrderingPolicy();
  presentLiveWindowAttributes();
  window_->makeKeyAndOrderFront();
  windowSystem_->activateApplication(true);
  setPresentation(ProtectedSharePresentation::live);
  return window_->isVisible();
}

void ProtectedShareWindowManager::presentLiveWindowAttributes() {
  window_->setLevel(WindowLevel::normal);
  window_->setCollectionBehavior(kLiveBehavior);
  window_->setIgnoresMouseEvents(false);
  window_->setSharingType(SharingType::readOnly);
}

void ProtectedShareWindowManager::reassertSessionWindow() {
  runtime::assertMainActor();
  if (directShareTestState_.retainsOutput()) return;
  if (!isSessionWindow_ || isLiveWindowHiddenLocally_ || !window_) return;
  window_->setIgnoresMouseEvents(false);
  window_->orderFrontRegardless();
}

void ProtectedShareWindowManager::refreshWindowOrderingPolicy() {
  runtime::assertMainActor();
  if (!window_) return;
  const bool mayComeForward = !isLiveWindowHiddenLocally_ && !directShareTestState_.retainsOutput();
  window_->setCanBeOrderedFront(mayComeForward);
  window_->setListedInWindowsMenu(mayComeForward);
}

bool ProtectedShareWindowManager::screenParametersDidChange() {
  runtime::assertMainActor();
  if (!window_) return false;
  if (!isLiveWindowHiddenLocally_) {
    keepWindowInside(false);
    compareWithRecordedSize();
    return windowSystem_->screenOverlappingMost(window_->frame()).has_value();
  }
  auto screen = windowSystem_->screenOverlappingMost(window_->frame());
  if (!screen) screen = windowSystem_->mainScreen();
  if (!screen) return false;
  const Rect bounds = contentBounds(screen->visibleFrame, window_->frameExtents());
  window_->setFrame(clampedToBounds(window_->frame(), bounds));
  if (savedFrame_) savedFrame_ = clampedToBounds(*savedFrame_, bounds);
  return window_->isVisible() && windowSystem_->screenOverlappingMost(window_->frame()).has_value();
}

std::vector<Rect> ProtectedShareWindowManager::controlAreas() const {
  if (!isLiveAndShown()) return {};
  const Rect content = window_->frame();
  const Rect whole = window_->frameExtents().around(content);
  return {
      Rect{whole.origin, {whole.width(), content.minY() - whole.minY() + kAccessoryStripHeight}}};
}

void ProtectedShareWindowManager::fitLiveWindow() {
  runtime::assertMainActor();
  auto viewport = viewport_.value();
  viewport.sizingMode = ProtectedShareSizingMode::fit;
  viewport_.setIfChanged(viewport);
  if (!isLiveAndShown()) return;
  if (auto screen = screenForWindow()) applySizing(*screen);
  takeSizeAsRecorded();
}

void ProtectedShareWindowManager::showLiveWindowAtActualSize() {
  runtime::assertMainActor();
  auto viewport = viewport_.value();
  viewport.sizingMode = ProtectedShareSizingMode::actual;
  viewport_.setIfChanged(viewport);
  if (!isLiveAndShown()) return;
  if (auto screen = screenForWindow()) applySizing(*screen);
  takeSizeAsRecorded();
}

void ProtectedShareWindowManager::moveLivePreviewToNextCorner() {
  runtime::assertMainActor();
  if (!isLiveAndShown()) return;
  auto screen = screenForWindow();
  if (!screen) return;
  const Rect bounds = contentBounds(screen->visibleFrame, window_->frameExtents());
  window_->setFrame(nextCornerFrame(window_->frame(), bounds, kCornerMargin));
}

void ProtectedShareWindowManager::updateProtectionStatus(bool isFailed, bool isHoldingSafeFrame,
                                                         bool isPublishingPaused,
                                                         bool isSourceContextTransitioning,
                                                         bool isCheckingChanges,
                                                         bool hasRecoveryMessage) {
  runtime::assertMainActor();
  const bool wasHolding = flags_.isHoldingSafeFrame;
  flags_ = ProtectionStatusFlags{isFailed,           isHoldingSafeFrame,
                                 isPublishingPaused, isSourceContextTransitioning,
                                 isCheckingChanges,  hasRecoveryMessage};
  if (!isHoldingSafeFrame) {
    holdingShown_ = false;
    holdingGeneration_.advance();
  } else if (!wasHolding) {
    // Show the hold only once it has lasted the delay; a later change of the hold cancels it.
    const auto generation = holdingGeneration_.advance();
    runtime::postToMainAfter(kHoldingStatusDelaySeconds, weak_from_this(),
                             [generation](ProtectedShareWindowManager& self) {
                               if (!self.holdingGeneration_.isCurrent(generation)) return;
                               self.holdingShown_ = true;
                               self.refreshStatus();
                             });
  }
  refreshStatus();
}

std::optional<Screen> ProtectedShareWindowManager::screenForWindow() const {
  if (window_) {
    if (auto screen = windowSystem_->screenOverlappingMost(window_->frame())) return screen;
  }
  if (sessionDisplayID_) {
    if (auto screen = windowSystem_->screen(*sessionDisplayID_)) return screen;
  }
  return windowSystem_->mainScreen();
}

double ProtectedShareWindowManager::backingScale(const Screen& screen) const {
  return screen.backingScaleFactor > 0 ? screen.backingScaleFactor : 1.0;
}

Size ProtectedShareWindowManager::pointSize(const Screen& screen) const {
  const double scale = backingScale(screen);
  const Size pixels = viewport_.value().pixelSize;
  return Size{pixels.width / scale, pixels.height / scale};
}

void ProtectedShareWindowManager::applySizing(const Screen& screen) {
  // The image goes below the control strip: size it in the bounds left over, then add the strip.
  Rect bounds = contentBounds(screen.visibleFrame, window_->frameExtents());
  bounds.origin.y += kAccessoryStripHeight;
  bounds.size.height = std::max(1.0, bounds.height() - kAccessoryStripHeight);
  const Size points = pointSize(screen);
  auto viewport = viewport_.value();
  Rect image;
  if (viewport.sizingMode == ProtectedShareSizingMode::fit) {
    image = aspectFitFrame(points, bounds);
  } else {
    const Rect current = window_->frame();
    image = actualSizeFrame(
        points, bounds,
        {current.minX() + current.width() / 2,
         current.minY() + kAccessoryStripHeight + (current.height() - kAccessoryStripHeight) / 2});
  }
  window_->setFrame(Rect{{image.minX(), image.minY() - kAccessoryStripHeight},
                         {image.width(), image.height() + kAccessoryStripHeight}});
  if (viewport.pixelSize.width > 0) {
    viewport.scale = window_->frame().width() / viewport.pixelSize.width;
  }
  viewport_.setIfChanged(viewport);
}

void ProtectedShareWindowManager::keepWindowInside(bool frameChanged) {
  runtime::assertMainActor();
  if (!window_ || !window_->isMapped() || isLiveWindowHiddenLocally_) return;
  const auto presentation = presentation_.value();
  if (presentation != ProtectedSharePresentation::live &&
      presentation != ProtectedSharePresentation::preview) {
    return;
  }
  auto screen = windowSystem_->screenOverlappingMost(window_->frame());
  if (!screen) screen = windowSystem_->mainScreen();
  if (!screen) return;
  const Rect bounds = contentBounds(screen->visibleFrame, window_->frameExtents());
  const Rect frame = window_->frame();
  const bool inside = frame.minX() >= bounds.minX() && frame.minY() >= bounds.minY() &&
                      frame.maxX() <= bounds.maxX() && frame.maxY() <= bounds.maxY();
  if (presentation == ProtectedSharePresentation::preview) {
    if (!inside) window_->setFrame(clampedToBounds(frame, bounds));
    return;
  }
  // A fitted window takes the room a new frame leaves it; one at actual size moves only when it
  // no longer fits.
  if (!inside || (frameChanged && viewport_.value().sizingMode == ProtectedShareSizingMode::fit)) {
    applySizing(*screen);
  }
  // The window manager framed it anew on the same screen: this is the size recorders see now.
  if (frameChanged) takeSizeAsRecorded();
}

void ProtectedShareWindowManager::setPresentation(ProtectedSharePresentation presentation) {
  presentation_.setIfChanged(presentation);
}

void ProtectedShareWindowManager::refreshStatus() {
  if (!accessory_) return;
  accessory_->setStatus(windowStatus(isSessionWindow_, hasPublishedLiveFrame_, flags_,
                                     holdingShown_, resizedUnderRecorders_));
}

void ProtectedShareWindowManager::compareWithRecordedSize() {
  if (!recordedSize_ || !window_) return;
  const Size size = window_->frame().size;
  // A screen smaller than the window leaves no way to keep its size: X refuses to read a window
  // that reaches past the screen. Back at its size, recorders read it whole again.
  resizedUnderRecorders_ = std::abs(size.width - recordedSize_->width) >= 0.5 ||
                           std::abs(size.height - recordedSize_->height) >= 0.5;
  refreshStatus();
}

void ProtectedShareWindowManager::takeSizeAsRecorded() {
  // While a screen change keeps the window from its size, the size to come back to stays.
  if (recordedSize_ && !resizedUnderRecorders_) recordedSize_ = window_->frame().size;
}

void ProtectedShareWindowManager::resetSessionState() {
  isSessionWindow_ = false;
  hasPublishedLiveFrame_ = false;
  isLiveWindowHiddenLocally_ = false;
  sessionDisplayID_.reset();
  savedFrame_.reset();
  savedMinSize_.reset();
  recordedSize_.reset();
  resizedUnderRecorders_ = false;
  flags_ = ProtectionStatusFlags{};
  holdingShown_ = false;
  holdingGeneration_.advance();
}

bool ProtectedShareWindowManager::isLiveAndShown() const {
  return window_ && isSessionWindow_ && hasPublishedLiveFrame_ && !isLiveWindowHiddenLocally_;
}

}  // namespace corvane::share_window
