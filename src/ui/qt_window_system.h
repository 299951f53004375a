#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

#include "platform/screens.h"
#include "platform/window_states.h"
#include "platform/window_system.h"
#include "runtime/published.h"

namespace corvane::ui {

// A Qt widget offered as a window's content.
class QtContentView final : public platform::ContentView {
 public:
  explicit QtContentView(QWidget* widget) : widget_(widget) {}
  ~QtContentView() override { delete widget_.data(); }
  QtContentView(const QtContentView&) = delete;
  QtContentView& operator=(const QtContentView&) = delete;

  void setNeedsDisplay() override {
    if (widget_) widget_->update();
  }
  QWidget* widget() const { return widget_.data(); }

 private:
  QPointer<QWidget> widget_;
};

struct QtWindowSystemState;

// The top-level widget behind a QtWindow. A user's close request only orders it out. A press on
// its background (a press no control took) starts a window-manager move when the window is
// movable by its background.
class QtWindowHost final : public QWidget {
  Q_OBJECT
 public:
  QtWindowHost();

  void setMovableByBackground(bool value) { movableByBackground_ = value; }
  // Destroys the (hidden) native window and makes a new one, unmapped, with a new number.
  void replaceNativeWindow() {
    destroy(true, true);
    create();
  }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;

 signals:
  void closeRequested();
  void moved();
  // The window became the active one (the window manager may have raised it).
  void activated();

 private:
  bool movableByBackground_ = false;
};

// A platform window on a Qt top-level widget. Levels, frames and mouse transparency go through
// Qt's window flags (on X11: _NET_WM_STATE_ABOVE/BELOW, Motif decorations, an empty input
// shape); sticky, skip-taskbar and skip-pager through EWMH states of our own. A window that maps
// only when shared is shown (mapped) only while it is ordered in and shared, and keeps contents of
// its own from before it is mapped until it is unmapped (WindowStateHints::keepContentsReadable).
class QtWindow final : public platform::TopLevelWindow {
 public:
  QtWindow(std::shared_ptr<QtWindowSystemState> state, const platform::Rect& frame,
           platform::WindowStyle style);
  ~QtWindow() override;

  std::uint32_t windowNumber() const override;
  void setTitle(const std::string& title) override;
  std::string title() const override;
  void setStyle(platform::WindowStyle style) override;
  platform::WindowStyle style() const override { return style_; }
  void setLevel(platform::WindowLevel level) override;
  platform::WindowLevel level() const override { return level_; }
  void setCollectionBehavior(platform::CollectionBehavior behavior) override;
  platform::CollectionBehavior collectionBehavior() const override { return behavior_; }
  void setSharingType(platform::SharingType sharing) override;
  platform::SharingType sharingType() const override { return sharing_; }
  void setMapsOnlyWhenShared(bool value) override;
  bool mapsOnlyWhenShared() const override { return mapsOnlyWhenShared_; }
  void setIgnoresMouseEvents(bool ignores) override;
  bool ignoresMouseEvents() const override { return ignoresMouse_; }
  void setShownLocally(bool shown) override;
  bool isShownLocally() const override { return shownLocally_; }
  void setCanBeOrderedFront(bool value) override { canBeOrderedFront_ = value; }
  bool canBeOrderedFront() const override { return canBeOrderedFront_; }
  void setListedInWindowsMenu(bool value) override;
  bool isListedInWindowsMenu() const override { return listed_; }
  void setTakesFocusOnlyOnClick(bool value) override;
  bool takesFocusOnlyOnClick() const override { return takesFocusOnlyOnClick_; }
  void setMovableByWindowBackground(bool value) override;
  bool isMovableByWindowBackground() const override { return movableByBackground_; }

  void setFrame(const platform::Rect& frame) override;
  platform::Rect frame() const override;
  void setMinSize(const platform::Size& size) override;
  platform::Size minSize() const override;
  runtime::Subscription observeMove(std::function<void()> handler) override;
  platform::FrameExtents frameExtents() const override;
  runtime::Subscription observeFrameExtents(std::function<void()> handler) override;
  // The window manager said anew what its frame around this window is.
  void frameExtentsDidChange();

  void setShape(std::optional<std::vector<platform::Rect>> rects) override;
  std::optional<std::vector<platform::Rect>> shape() const override { return shape_; }

  void setContentView(std::shared_ptr<platform::ContentView> view) override;
  std::shared_ptr<platform::ContentView> contentView() const override { return content_; }

  void orderFront() override;
  void orderFrontRegardless() override;
  void makeKeyAndOrderFront() override;
  void orderOut() override;
  void close() override;

  bool isVisible() const override { return orderedIn_; }
  bool isMapped() const override;
  bool isKey() const override;

  // The widget behind the window (null once closed); for tests and screenshots.
  QWidget* hostWidget() const { return host_.data(); }

 private:
  void orderIn(bool makeKey);
  void applyFlags();
  void applyExtraStates();
  void syncMapping();
  void keepContentsReadable(bool keep);
  void withdrawForGood();
  // Asks the window manager what its frame around the unmapped titled window will be.
  void requestFrameExtents();
  bool shouldBeMapped() const;
  // Raises the visible windows of higher levels again, lowest level first.
  void keepHigherLevelsAbove();
  bool isOnScreenAboveNormal() const;
  // Makes every visible on-top window transient for the highest one of a lower level.
  void chainOnTopWindows();

  std::shared_ptr<QtWindowSystemState> state_;
  QPointer<QtWindowHost> host_;
  platform::WindowStyle style_;
  platform::WindowLevel level_ = platform::WindowLevel::normal;
  platform::CollectionBehavior behavior_ = platform::CollectionBehavior::managed;
  platform::SharingType sharing_ = platform::SharingType::readOnly;
  bool mapsOnlyWhenShared_ = false;
  bool ignoresMouse_ = false;
  bool shownLocally_ = true;
  bool canBeOrderedFront_ = true;
  bool listed_ = true;
  bool takesFocusOnlyOnClick_ = false;
  bool movableByBackground_ = false;
  bool orderedIn_ = false;
  bool hasNativeWindow_ = false;
  WId transientFor_ = 0;
  WId readableWindow_ = 0;  // the native window whose contents are kept readable
  std::optional<std::vector<platform::Rect>> shape_;
  std::shared_ptr<platform::ContentView> content_;
  runtime::Published<int> moves_{0};
  runtime::Published<int> frameExtentChanges_{0};
  // What the window manager said of this window's frame belongs to an earlier style or native
  // window until it says anew.
  bool saidFrameIsStale_ = true;
  // What the window manager said last, once read (none: it has said nothing).
  mutable std::optional<std::optional<platform::FrameExtents>> saidFrame_;
  // The extra states last set, on which native window and whether it was mapped then.
  struct AppliedStates {
    std::uint32_t windowNumber = 0;
    bool mapped = false;
    platform::ExtraWindowStates states;
    bool operator==(const AppliedStates&) const = default;
  };
  std::optional<AppliedStates> appliedStates_;
};

// The app's window system on Qt. Its screens are the desktop's (required), so windows are placed
// by the display numbers capture uses; the window states Qt has no flag for go through
// `stateHints` (none: they are not set, as on Qt's offscreen platform).
class QtWindowSystem final : public platform::WindowSystem {
 public:
  QtWindowSystem(std::shared_ptr<platform::Screens> screens,
                 std::shared_ptr<platform::WindowStateHints> stateHints);

  std::shared_ptr<platform::TopLevelWindow> makeWindow(const platform::Rect& frame,
                                                       platform::WindowStyle style) override;
  std::vector<platform::Screen> screens() const override;
  void activateApplication(bool ignoringOtherApps) override;

 private:
  std::shared_ptr<platform::Screens> screens_;
  std::shared_ptr<QtWindowSystemState> state_;
  runtime::Subscription frameExtentChanges_;
};

}  // namespace corvane::ui
