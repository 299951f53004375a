#include "platform/sim/sim_window_system.h"

#include <algorithm>
#include <cmath>

#include "platform/sim/sim_desktop.h"

namespace corvane::platform::sim {

void SimWindowSystemState::bringToFrontOfLevel(const SimWindow* window) {
  removeFromOrder(window);
  // In front of every window of its level or lower, behind the first of a higher level.
  auto above = std::find_if(order.begin(), order.end(), [window](const SimWindow* other) {
    return other->level() > window->level();
  });
  order.insert(above, window);
}

void SimWindowSystemState::removeFromOrder(const SimWindow* window) {
  std::erase(order, window);
}

SimWindow::SimWindow(std::shared_ptr<SimWindowSystemState> state, Rect frame, WindowStyle style)
    : state_(std::move(state)), style_(style), frame_(frame), origin_(frame.origin) {}

SimWindow::~SimWindow() {
  state_->removeFromOrder(this);
}

void SimWindow::setLevel(WindowLevel level) {
  if (level_ == level) return;
  level_ = level;
  if (visible_) state_->bringToFrontOfLevel(this);
}

void SimWindow::setFrame(const Rect& frame) {
  // Like a window manager, never below the minimum size.
  frame_ = frame;
  if (frame_.size.width < minSize_.width) frame_.size.width = minSize_.width;
  if (frame_.size.height < minSize_.height) frame_.size.height = minSize_.height;
  origin_.setIfChanged(frame_.origin);
  state_->notifyChanged();
}

void SimWindow::setShape(std::optional<std::vector<Rect>> rects) {
  shape_ = std::move(rects);
  state_->notifyChanged();
}

void SimWindow::setContentView(std::shared_ptr<ContentView> view) {
  if (auto* drawable = dynamic_cast<SimDrawableContent*>(content_.get()))
    drawable->setRedrawHandler(nullptr);
  content_ = std::move(view);
  if (auto* drawable = dynamic_cast<SimDrawableContent*>(content_.get())) {
    std::weak_ptr<SimWindowSystemState> weak = state_;
    drawable->setRedrawHandler([weak] {
      if (auto state = weak.lock()) state->notifyChanged();
    });
  }
  state_->notifyChanged();
}

runtime::Subscription SimWindow::observeMove(std::function<void()> handler) {
  return origin_.observeAtOnce([handler = std::move(handler)](const Point&) { handler(); });
}

bool SimWindow::dragTo(Point origin) {
  if (!visible_ || ignoresMouse_ || !movableByBackground_) return false;
  setFrame(Rect{origin, frame_.size});
  return true;
}

bool SimWindow::click() {
  if (!visible_ || ignoresMouse_) return false;
  state_->keyWindow = this;
  return true;
}

void SimWindow::orderIn(bool makeKey) {
  if (closed_ || refusesToShow_) return;
  if (number_ == 0) number_ = state_->nextNumber++;
  visible_ = true;
  state_->bringToFrontOfLevel(this);
  ++orderFrontCount_;
  if (makeKey) state_->keyWindow = this;
  state_->notifyChanged();
}

void SimWindow::orderFront() {
  if (!canBeOrderedFront_) return;
  orderIn(false);
}

void SimWindow::orderFrontRegardless() {
  orderIn(false);
}

void SimWindow::makeKeyAndOrderFront() {
  if (!canBeOrderedFront_) return;
  orderIn(true);
}

void SimWindow::orderOut() {
  visible_ = false;
  state_->removeFromOrder(this);
  if (state_->keyWindow == this) state_->keyWindow = nullptr;
  state_->notifyChanged();
}

void SimWindow::close() {
  orderOut();
  closed_ = true;
  number_ = 0;
  setContentView(nullptr);
}

bool SimWindow::isMapped() const {
  return visible_ && (!mapsOnlyWhenShared_ || sharing_ == SharingType::readOnly);
}

bool SimWindow::isKey() const {
  return visible_ && state_->keyWindow == this;
}

SimWindowSystem::SimWindowSystem(std::vector<Screen> screens) : screens_(std::move(screens)) {}

SimWindowSystem::SimWindowSystem(std::shared_ptr<Screens> source) : source_(std::move(source)) {}

void SimWindowSystem::setTitledFrame(FrameExtents frame) {
  state_->titledFrame = frame;
  for (const auto& window : windows_) {
    if (window->style() == WindowStyle::titled) window->frameExtentsDidChange();
  }
}

std::shared_ptr<TopLevelWindow> SimWindowSystem::makeWindow(const Rect& frame, WindowStyle style) {
  auto window = std::make_shared<SimWindow>(state_, frame, style);
  windows_.push_back(window);
  return window;
}

std::vector<Screen> SimWindowSystem::screens() const {
  return source_ ? source_->screens() : screens_;
}

void SimWindowSystem::showWindowsOn(const std::shared_ptr<SimDesktop>& desktop,
                                    std::int32_t ownerProcessIdentifier) {
  std::weak_ptr<SimDesktop> weakDesktop = desktop;
  std::weak_ptr<SimWindowSystemState> weakState = state_;
  state_->changed = [weakDesktop, weakState, ownerProcessIdentifier] {
    auto target = weakDesktop.lock();
    auto state = weakState.lock();
    if (!target || !state) return;
    std::vector<SimOwnWindowLayer> layers;
    for (const SimWindow* window : state->order) {
      auto* drawable = dynamic_cast<const SimDrawableContent*>(window->contentView().get());
      if (!window->isMapped() || drawable == nullptr) continue;
      const Rect frame = window->frame();
      layers.push_back({window->windowNumber(), frame, window->shape(),
                        drawable->render({std::ceil(frame.width()), std::ceil(frame.height())}),
                        ownerProcessIdentifier});
    }
    target->setOwnWindows(std::move(layers));
  };
  state_->notifyChanged();
}

void SimWindowSystem::activateApplication(bool) {
  ++activations_;
}

}  // namespace corvane::platform::sim
