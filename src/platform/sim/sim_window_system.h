#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/pixel_buffer.h"
#include "platform/window_system.h"
#include "runtime/published.h"

namespace corvane::platform::sim {

class SimWindow;
class SimDesktop;

// A window content the simulated desktop can draw into its captures: its pixels at one per point
// for a window of `size`. A redraw request reaches the window system, which shows it again.
class SimDrawableContent : public ContentView {
 public:
  virtual SharedPixelBuffer render(Size size) const = 0;
  void setNeedsDisplay() final {
    if (redraw_) redraw_();
  }
  void setRedrawHandler(std::function<void()> handler) { redraw_ = std::move(handler); }

 private:
  std::function<void()> redraw_;
};

// The frame the simulated window manager puts around a titled window unless a test says
// otherwise: a title bar of 28 points.
inline constexpr FrameExtents kSimTitledFrame{0, 0, 28, 0};

// What the windows of one simulated window system share: the numbering, the key window and the
// order of the visible windows, back to front, each level above the lower ones.
struct SimWindowSystemState {
  std::uint32_t nextNumber = 0x400001;
  const void* keyWindow = nullptr;
  std::vector<const SimWindow*> order;
  FrameExtents titledFrame = kSimTitledFrame;
  // Runs after anything that changes what the windows show.
  std::function<void()> changed;

  void notifyChanged() const {
    if (changed) changed();
  }

  // Puts a visible window at the front of its level.
  void bringToFrontOfLevel(const SimWindow* window);
  void removeFromOrder(const SimWindow* window);
};

// A window of the simulated window system: it records every attribute it is given and keeps the
// order and key state the way a window manager would, so headless tests can check what a
// manager did to its window.
class SimWindow final : public TopLevelWindow {
 public:
  SimWindow(std::shared_ptr<SimWindowSystemState> state, Rect frame, WindowStyle style);
  ~SimWindow() override;
  SimWindow(const SimWindow&) = delete;
  SimWindow& operator=(const SimWindow&) = delete;

  std::uint32_t windowNumber() const override { return number_; }
  void setTitle(const std::string& title) override { title_ = title; }
  std::string title() const override { return title_; }
  void setStyle(WindowStyle style) override { style_ = style; }
  WindowStyle style() const override { return style_; }
  void setLevel(WindowLevel level) override;
  WindowLevel level() const override { return level_; }
  void setCollectionBehavior(CollectionBehavior behavior) override { behavior_ = behavior; }
  CollectionBehavior collectionBehavior() const override { return behavior_; }
  void setSharingType(SharingType sharing) override { sharing_ = sharing; }
  SharingType sharingType() const override { return sharing_; }
  void setMapsOnlyWhenShared(bool value) override { mapsOnlyWhenShared_ = value; }
  bool mapsOnlyWhenShared() const override { return mapsOnlyWhenShared_; }
  void setIgnoresMouseEvents(bool ignores) override { ignoresMouse_ = ignores; }
  bool ignoresMouseEvents() const override { return ignoresMouse_; }
  void setShownLocally(bool shown) override { shownLocally_ = shown; }
  bool isShownLocally() const override { return shownLocally_; }
  void setCanBeOrderedFront(bool value) override { canBeOrderedFront_ = value; }
  bool canBeOrderedFront() const override { return canBeOrderedFront_; }
  void setListedInWindowsMenu(bool value) override { listed_ = value; }
  bool isListedInWindowsMenu() const override { return listed_; }
  void setTakesFocusOnlyOnClick(bool value) override { takesFocusOnlyOnClick_ = value; }
  bool takesFocusOnlyOnClick() const override { return takesFocusOnlyOnClick_; }
  void setMovableByWindowBackground(bool value) override { movableByBackground_ = value; }
  bool isMovableByWindowBackground() const override { return movableByBackground_; }

  void setFrame(const Rect& frame) override;
  Rect frame() const override { return frame_; }
  void setMinSize(const Size& size) override { minSize_ = size; }
  Size minSize() const override { return minSize_; }
  runtime::Subscription observeMove(std::function<void()> handler) override;
  FrameExtents frameExtents() const override {
    return style_ == WindowStyle::titled ? state_->titledFrame : FrameExtents{};
  }
  runtime::Subscription observeFrameExtents(std::function<void()> handler) override {
    return frameChanges_.observeAtOnce([handler = std::move(handler)](int) { handler(); });
  }
  void frameExtentsDidChange() { frameChanges_.set(frameChanges_.value() + 1); }

  void setShape(std::optional<std::vector<Rect>> rects) override;
  std::optional<std::vector<Rect>> shape() const override { return shape_; }

  void setContentView(std::shared_ptr<ContentView> view) override;
  std::shared_ptr<ContentView> contentView() const override { return content_; }

  void orderFront() override;
  void orderFrontRegardless() override;
  void makeKeyAndOrderFront() override;
  void orderOut() override;
  void close() override;

  bool isVisible() const override { return visible_; }
  bool isMapped() const override;
  bool isKey() const override;

  // Test script: a window the window manager refuses to show stays ordered out.
  void setRefusesToShow(bool value) { refusesToShow_ = value; }
  // How often the window was brought forward (any of the three ordering calls that took effect).
  int orderFrontCount() const { return orderFrontCount_; }
  bool isClosed() const { return closed_; }
  // The user drags the window by its background to `origin`: nothing unless it is visible, takes
  // the mouse and is movable by its background.
  bool dragTo(Point origin);
  // The user clicks the window: a window that takes the mouse becomes key (the click itself goes
  // to the control under the pointer, which the test presses on the content).
  bool click();

 private:
  void orderIn(bool makeKey);

  std::shared_ptr<SimWindowSystemState> state_;
  std::uint32_t number_ = 0;
  std::string title_;
  WindowStyle style_;
  WindowLevel level_ = WindowLevel::normal;
  CollectionBehavior behavior_ = CollectionBehavior::managed;
  SharingType sharing_ = SharingType::readOnly;
  bool mapsOnlyWhenShared_ = false;
  bool ignoresMouse_ = false;
  bool shownLocally_ = true;
  bool canBeOrderedFront_ = true;
  bool listed_ = true;
  Rect frame_;
  Size minSize_;
  std::optional<std::vector<Rect>> shape_;
  std::shared_ptr<ContentView> content_;
  bool visible_ = false;
  bool closed_ = false;
  bool refusesToShow_ = false;
  bool takesFocusOnlyOnClick_ = false;
  bool movableByBackground_ = false;
  int orderFrontCount_ = 0;
  runtime::Published<Point> origin_;
  runtime::Published<int> frameChanges_{0};
};

// The simulated twin of the Qt window system: screens set by the test (or read from a Screens
// source such as the simulated desktop), window numbers handed out in order, one key window.
class SimWindowSystem final : public WindowSystem {
 public:
  explicit SimWindowSystem(std::vector<Screen> screens = {});
  explicit SimWindowSystem(std::shared_ptr<Screens> source);

  std::shared_ptr<TopLevelWindow> makeWindow(const Rect& frame, WindowStyle style) override;
  std::vector<Screen> screens() const override;
  void activateApplication(bool ignoringOtherApps) override;

  void setScreens(std::vector<Screen> screens) { screens_ = std::move(screens); }
  // The window manager frames titled windows with `frame` from now on and says so to each.
  void setTitledFrame(FrameExtents frame);
  // From now on the desktop's captures show these windows (those whose content is drawable), as
  // they are ordered, placed, shaped and redrawn; with an owner, its shareable content lists them
  // as that application's windows.
  void showWindowsOn(const std::shared_ptr<SimDesktop>& desktop,
                     std::int32_t ownerProcessIdentifier = 0);
  int activationCount() const { return activations_; }
  const std::vector<std::shared_ptr<SimWindow>>& windows() const { return windows_; }
  // The visible windows, back to front.
  std::vector<const SimWindow*> orderedWindows() const { return state_->order; }

 private:
  std::shared_ptr<Screens> source_;
  std::vector<Screen> screens_;
  std::vector<std::shared_ptr<SimWindow>> windows_;
  std::shared_ptr<SimWindowSystemState> state_ = std::make_shared<SimWindowSystemState>();
  int activations_ = 0;
};

}  // namespace corvane::platform::sim
