#include "menubar/presenter_control_bar_manager.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "platform/frame_placement.h"
#include "runtime/main_actor.h"

namespace corvane::menubar {

using platform::Point;
using platform::Rect;
using platform::Screen;
using platform::Size;

namespace {

bool touchesAny(const Rect& frame, const std::vector<Rect>& areas) {
  return std::any_of(areas.begin(), areas.end(),
                     [&frame](const Rect& area) { return frame.intersects(area); });
}

std::string numberText(double value) {
  char buffer[32];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  if (error != std::errc()) return "0";
  return std::string(buffer, end);
}

// Reads a number at `at`, skipping blanks first; advances past it.
std::optional<double> readNumber(const std::string& text, std::size_t& at) {
  while (at < text.size() && text[at] == ' ') ++at;
  double value = 0;
  auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), value);
  if (error != std::errc() || !std::isfinite(value)) return std::nullopt;
  at = static_cast<std::size_t>(end - text.data());
  return value;
}

bool readSymbol(const std::string& text, std::size_t& at, char symbol) {
  while (at < text.size() && text[at] == ' ') ++at;
  if (at >= text.size() || text[at] != symbol) return false;
  ++at;
  return true;
}

}  // namespace

PresenterControlBarManager::PresenterControlBarManager(
    std::shared_ptr<platform::WindowSystem> windowSystem,
    std::shared_ptr<const platform::Workspace> workspace,
    std::shared_ptr<platform::DefaultsSuite> defaults,
    PresenterControlBarContentFactory contentFactory)
    : windowSystem_(std::move(windowSystem)),
      workspace_(std::move(workspace)),
      defaults_(std::move(defaults)),
      contentFactory_(std::move(contentFactory)),
      state_(std::make_shared<PresenterControlBarState>()) {
  state_->isCollapsed.set(defaults_->boolValue(collapsedDefaultsKey, false));
}

void PresenterControlBarManager::show(std::optional<std::uint32_t> displayID,
                                      const PresenterControlBarMode& mode,
                                      PresenterControlBarContent content) {
  runtime::assertMainActor();
  auto target = screen(displayID);
  if (!target) target = windowSystem_->mainScreen();
  if (!target) return;

  if (panel_) {
    const auto current = screenOf(*panel_);
    if (!current || current->displayID != target->displayID) hide();
  }
  if (!panel_) panel_ = makePanel(*target);

  const bool controlsMoved = content.controlAreas != controlAreas_;
  controlAreas_ = std::move(content.controlAreas);
  // Published fields announce only real changes, so a refresh on every frame redraws nothing.
  // The actions are not published; the view reads them when a control is pressed.
  state_->mode.setIfChanged(mode);
  state_->previewVisibilityAction = std::move(content.previewVisibilityAction);
  state_->isPreviewHidden.setIfChanged(content.isPreviewHidden);
  state_->fitPreviewAction = std::move(content.fitPreviewAction);
  state_->actualSizePreviewAction = std::move(content.actualSizePreviewAction);
  state_->isPreviewActualSize.setIfChanged(content.isPreviewActualSize);
  state_->movePreviewAction = std::move(content.movePreviewAction);
  state_->secondaryAction = std::move(content.secondaryAction);
  state_->reviewAction = std::move(content.reviewAction);
  state_->primaryAction = std::move(content.action);
  std::weak_ptr<PresenterControlBarManager> weakSelf = weak_from_this();
  state_->collapseAction = [weakSelf] {
    if (auto self = weakSelf.lock()) self->toggleCollapsed();
  };
  state_->repositionAction = [weakSelf] {
    if (auto self = weakSelf.lock()) self->moveToNextCorner();
  };

  // A panel on screen keeps its anchored place; a new or hidden one takes its initial frame.
  const bool wasVisible = panel_->isVisible();
  applyPanelSize(*target, wasVisible);
  if (wasVisible && controlsMoved && coversControls(panel_->frame())) {
    setPanelFrame(leastObstructiveCornerFrame(*target, currentSize()));
    savePosition(*panel_);
  }
  if (!wasVisible) panel_->orderFrontRegardless();
}

void PresenterControlBarManager::hide() {
  runtime::assertMainActor();
  if (panel_) {
    savePosition(*panel_);
    panel_->orderOut();
  }
  moveObserver_.cancel();
  if (panel_) panel_->close();
  panel_.reset();
}

void PresenterControlBarManager::toggleCollapsed() {
  runtime::assertMainActor();
  const bool collapsed = !state_->isCollapsed.value();
  state_->isCollapsed.set(collapsed);
  defaults_->set(collapsedDefaultsKey, platform::Value(collapsed));
  if (!panel_) return;
  auto screen = screenOf(*panel_);
  if (!screen) screen = windowSystem_->mainScreen();
  if (screen) applyPanelSize(*screen, true);
}

void PresenterControlBarManager::moveToNextCorner() {
  runtime::assertMainActor();
  if (!panel_) return;
  auto screen = screenOf(*panel_);
  if (!screen) screen = windowSystem_->mainScreen();
  if (!screen) return;
  // The next corner, passing over those that would cover a control of ours.
  Rect target = panel_->frame();
  for (int step = 0; step < 4; ++step) {
    target = platform::nextCornerFrame(target, screen->visibleFrame, cornerInset);
    if (!coversControls(target)) break;
  }
  if (coversControls(target)) {
    target = platform::nextCornerFrame(panel_->frame(), screen->visibleFrame, cornerInset);
  }
  setPanelFrame(target);
  savePosition(*panel_);
}

bool PresenterControlBarManager::coversControls(const Rect& frame) const {
  return touchesAny(frame, controlAreas_);
}

std::optional<Screen> PresenterControlBarManager::screen(
    std::optional<std::uint32_t> displayID) const {
  if (!displayID) return std::nullopt;
  return windowSystem_->screen(*displayID);
}

Rect PresenterControlBarManager::initialFrame(const Screen& screen, Size size) const {
  if (auto stored = defaults_->stringValue(positionDefaultsKey(screen))) {
    const Point offset = parsePosition(*stored);
    const Rect& work = screen.visibleFrame;
    const Rect saved = clamped(Rect{{work.minX() + offset.x, work.minY() + offset.y}, size}, work);
    if (!coversControls(saved)) return saved;
  }
  return leastObstructiveCornerFrame(screen, size);
}

Rect PresenterControlBarManager::leastObstructiveCornerFrame(const Screen& screen,
                                                             Size size) const {
  const auto windows =
      workspace_ ? workspace_->frontmostApplicationWindowFrames() : std::vector<Rect>{};
  return leastObstructiveCorner(cornerFrames(screen, size), windows, controlAreas_);
}

std::string PresenterControlBarManager::positionDefaultsKey(const Screen& screen) {
  return positionDefaultsKeyPrefix + std::to_string(screen.displayID);
}

std::array<Rect, 4> PresenterControlBarManager::cornerFrames(const Screen& screen, Size size) {
  return platform::cornerFrames(screen.visibleFrame, size, cornerInset);
}

Rect PresenterControlBarManager::clamped(const Rect& rect, const Rect& bounds) {
  return platform::clampedToBounds(rect, bounds);
}

Rect PresenterControlBarManager::anchoredFrame(const Rect& current, Size size,
                                               const Rect& visibleFrame) {
  const double frameMidX = current.minX() + current.width() / 2;
  const double frameMidY = current.minY() + current.height() / 2;
  const double workMidX = visibleFrame.minX() + visibleFrame.width() / 2;
  const double workMidY = visibleFrame.minY() + visibleFrame.height() / 2;
  const double x = workMidX <= frameMidX ? current.maxX() - size.width : current.minX();
  const double y = frameMidY <= workMidY ? current.minY() : current.maxY() - size.height;
  return clamped(Rect{{x, y}, size}, visibleFrame);
}

Rect PresenterControlBarManager::leastObstructiveCorner(const std::array<Rect, 4>& corners,
                                                        const std::vector<Rect>& windows,
                                                        const std::vector<Rect>& controlAreas) {
  auto coversControls = [&controlAreas](const Rect& corner) {
    return touchesAny(corner, controlAreas);
  };
  const bool anyClear = !std::all_of(corners.begin(), corners.end(), coversControls);
  std::size_t best = 0;
  double bestOverlap = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < corners.size(); ++i) {
    if (anyClear && coversControls(corners[i])) continue;
    double overlap = 0;
    for (const Rect& window : windows) overlap += corners[i].intersection(window).area();
    if (overlap < bestOverlap) {
      bestOverlap = overlap;
      best = i;
    }
  }
  return corners[best];
}

std::string PresenterControlBarManager::positionString(Point point) {
  return "{" + numberText(point.x) + ", " + numberText(point.y) + "}";
}

Point PresenterControlBarManager::parsePosition(const std::string& text) {
  std::size_t at = 0;
  if (!readSymbol(text, at, '{')) return {};
  const auto x = readNumber(text, at);
  if (!x || !readSymbol(text, at, ',')) return {};
  const auto y = readNumber(text, at);
  if (!y || !readSymbol(text, at, '}')) return {};
  while (at < text.size() && text[at] == ' ') ++at;
  if (at != text.size()) return {};
  return Point{*x, *y};
}

Size PresenterControlBarManager::currentSize() const {
  return state_->isCollapsed.value() ? collapsedSize : expandedSize;
}

std::optional<Screen> PresenterControlBarManager::screenOf(
    const platform::TopLevelWindow& window) const {
  return windowSystem_->screenOverlappingMost(window.frame());
}

std::shared_ptr<platform::TopLevelWindow> PresenterControlBarManager::makePanel(
    const Screen& screen) {
  auto panel = windowSystem_->makeWindow(initialFrame(screen, currentSize()),
                                         platform::WindowStyle::borderless);
  panel->setTitle(panelTitle);
  panel->setLevel(controlWindowLevel);
  panel->setCollectionBehavior(platform::kFloatingPanelBehavior);
  panel->setListedInWindowsMenu(false);
  // Left out of Corvane's own capture like every window of this process; still on this screen.
  panel->setSharingType(platform::SharingType::none);
  panel->setMapsOnlyWhenShared(false);
  panel->setIgnoresMouseEvents(false);
  panel->setTakesFocusOnlyOnClick(true);
  panel->setMovableByWindowBackground(true);
  if (contentFactory_) panel->setContentView(contentFactory_(state_));

  std::weak_ptr<PresenterControlBarManager> weakSelf = weak_from_this();
  moveObserver_ = panel->observeMove([weakSelf] {
    auto self = weakSelf.lock();
    if (!self || self->isApplyingProgrammaticFrame_) return;
    runtime::postToMain(weakSelf,
                        [](PresenterControlBarManager& manager) { manager.handlePanelMoved(); });
  });
  return panel;
}

void PresenterControlBarManager::handlePanelMoved() {
  if (!panel_ || isApplyingProgrammaticFrame_) return;
  clampAndSavePosition(*panel_);
}

void PresenterControlBarManager::applyPanelSize(const Screen& screen, bool preserveAnchor) {
  if (!panel_) return;
  const Size size = currentSize();
  const Rect frame = preserveAnchor ? anchoredFrame(panel_->frame(), size, screen.visibleFrame)
                                    : initialFrame(screen, size);
  setPanelFrame(frame);
  savePosition(*panel_);
}

void PresenterControlBarManager::setPanelFrame(const Rect& frame) {
  if (!panel_ || panel_->frame() == frame) return;
  isApplyingProgrammaticFrame_ = true;
  panel_->setFrame(frame);
  isApplyingProgrammaticFrame_ = false;
}

void PresenterControlBarManager::clampAndSavePosition(platform::TopLevelWindow& window) {
  auto screen = screenOf(window);
  if (!screen) screen = windowSystem_->mainScreen();
  if (!screen) return;
  const Rect inside = clamped(window.frame(), screen->visibleFrame);
  if (!(inside == window.frame())) setPanelFrame(inside);
  savePosition(window);
}

void PresenterControlBarManager::savePosition(const platform::TopLevelWindow& window) {
  // Only a bar that lies on a display has a position on it: one left on a display that is gone
  // would otherwise overwrite the main display's saved place with a point from elsewhere.
  const auto screen = screenOf(window);
  if (!screen) return;
  const Rect frame = window.frame();
  const std::string text = positionString(
      {frame.minX() - screen->visibleFrame.minX(), frame.minY() - screen->visibleFrame.minY()});
  const std::string key = positionDefaultsKey(*screen);
  // Written only when it changed: the bar is refreshed on every frame.
  if (defaults_->stringValue(key) == text) return;
  defaults_->set(key, platform::Value(text));
}

}  // namespace corvane::menubar
