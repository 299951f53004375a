#include "ui/qt_window_system.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QRegion>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace corvane::ui {

using platform::CollectionBehavior;
using platform::Rect;
using platform::SharingType;
using platform::Size;
using platform::WindowLevel;
using platform::WindowStyle;

// What the windows of one window system share: the window made key last, which an application
// activation brings forward, where the extra window states go, and every live window, for keeping
// the levels in order.
struct QtWindowSystemState {
  QPointer<QWidget> keyCandidate;
  std::shared_ptr<platform::WindowStateHints> stateHints;
  std::vector<QtWindow*> windows;
  // The frame the window manager said last it puts around a titled window of ours.
  std::optional<platform::FrameExtents> saidTitledFrame;
};

namespace {

QRect toQRect(const Rect& r) {
  return QRect(static_cast<int>(std::lround(r.minX())), static_cast<int>(std::lround(r.minY())),
               static_cast<int>(std::lround(r.width())), static_cast<int>(std::lround(r.height())));
}

Rect toRect(const QRect& r) {
  return Rect{{static_cast<double>(r.x()), static_cast<double>(r.y())},
              {static_cast<double>(r.width()), static_cast<double>(r.height())}};
}

}  // namespace

QtWindowHost::QtWindowHost() : QWidget(nullptr, Qt::Window) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
}

void QtWindowHost::closeEvent(QCloseEvent* event) {
  event->ignore();
  emit closeRequested();
}

void QtWindowHost::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  emit moved();
}

void QtWindowHost::mousePressEvent(QMouseEvent* event) {
  // Presses on controls never get here: they are taken by the control under the pointer.
  if (movableByBackground_ && event->button() == Qt::LeftButton && windowHandle() != nullptr &&
      windowHandle()->startSystemMove()) {
    event->accept();
    return;
  }
  QWidget::mousePressEvent(event);
}

bool QtWindowHost::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) emit activated();
  return QWidget::event(event);
}

QtWindow::QtWindow(std::shared_ptr<QtWindowSystemState> state, const Rect& frame, WindowStyle style)
    : state_(std::move(state)), host_(new QtWindowHost()), style_(style) {
  host_->setGeometry(toQRect(frame));
  QObject::connect(host_.data(), &QtWindowHost::closeRequested, host_.data(),
                   [this] { orderOut(); });
  QObject::connect(host_.data(), &QtWindowHost::moved, host_.data(),
                   [this] { moves_.set(moves_.value() + 1); });
  // Window managers raise the window they activate, which may be later than our own raise (a
  // window is activated once it is mapped): keep the higher levels above it again then.
  QObject::connect(host_.data(), &QtWindowHost::activated, host_.data(),
                   [this] { keepHigherLevelsAbove(); });
  applyFlags();
  state_->windows.push_back(this);
}

QtWindow::~QtWindow() {
  close();
  std::erase(state_->windows, this);
}

std::uint32_t QtWindow::windowNumber() const {
  if (!host_ || !hasNativeWindow_) return 0;
  return static_cast<std::uint32_t>(host_->winId());
}

void QtWindow::setTitle(const std::string& title) {
  if (host_) host_->setWindowTitle(QString::fromStdString(title));
}

std::string QtWindow::title() const {
  return host_ ? host_->windowTitle().toStdString() : std::string();
}

void QtWindow::setStyle(WindowStyle style) {
  if (style_ == style) return;
  style_ = style;
  saidFrameIsStale_ = true;
  applyFlags();
  if (host_ && !host_->isVisible()) requestFrameExtents();
}

void QtWindow::setLevel(WindowLevel level) {
  if (level_ == level) return;
  level_ = level;
  applyFlags();
  if (host_ && host_->isVisible()) keepHigherLevelsAbove();
}

void QtWindow::setCollectionBehavior(CollectionBehavior behavior) {
  behavior_ = behavior;
  applyExtraStates();
}

void QtWindow::setSharingType(SharingType sharing) {
  sharing_ = sharing;
  syncMapping();
}

void QtWindow::setMapsOnlyWhenShared(bool value) {
  mapsOnlyWhenShared_ = value;
  syncMapping();
}

void QtWindow::setIgnoresMouseEvents(bool ignores) {
  if (ignoresMouse_ == ignores) return;
  ignoresMouse_ = ignores;
  applyFlags();
}

void QtWindow::setShownLocally(bool shown) {
  if (shownLocally_ == shown) return;
  shownLocally_ = shown;
  if (host_ && hasNativeWindow_ && state_->stateHints)
    state_->stateHints->setShownLocally(static_cast<std::uint32_t>(host_->winId()), shown);
}

void QtWindow::setListedInWindowsMenu(bool value) {
  listed_ = value;
  applyExtraStates();
}

void QtWindow::setTakesFocusOnlyOnClick(bool value) {
  takesFocusOnlyOnClick_ = value;
  // Shown without activation: on X11 the window goes on screen with a user time of 0, so the
  // window manager does not give it the focus; a click still does.
  if (host_) host_->setAttribute(Qt::WA_ShowWithoutActivating, value);
}

void QtWindow::setMovableByWindowBackground(bool value) {
  movableByBackground_ = value;
  if (host_) host_->setMovableByBackground(value);
}

runtime::Subscription QtWindow::observeMove(std::function<void()> handler) {
  return moves_.observeAtOnce([handler = std::move(handler)](int) { handler(); });
}

void QtWindow::setFrame(const Rect& frame) {
  if (host_) host_->setGeometry(toQRect(frame));
}

Rect QtWindow::frame() const {
  return host_ ? toRect(host_->geometry()) : Rect{};
}

platform::FrameExtents QtWindow::frameExtents() const {
  if (style_ == WindowStyle::borderless) return {};
  if (host_ && hasNativeWindow_ && state_->stateHints && !saidFrameIsStale_) {
    // Read once for each time the window manager says it anew.
    if (!saidFrame_) saidFrame_ = state_->stateHints->frameExtents(windowNumber());
    if (*saidFrame_) {
      state_->saidTitledFrame = **saidFrame_;
      return **saidFrame_;
    }
  }
  return state_->saidTitledFrame.value_or(platform::kAssumedTitledFrame);
}

runtime::Subscription QtWindow::observeFrameExtents(std::function<void()> handler) {
  return frameExtentChanges_.observeAtOnce([handler = std::move(handler)](int) { handler(); });
}

void QtWindow::frameExtentsDidChange() {
  saidFrameIsStale_ = false;
  saidFrame_.reset();
  frameExtentChanges_.set(frameExtentChanges_.value() + 1);
}

void QtWindow::requestFrameExtents() {
  if (style_ == WindowStyle::titled && host_ && hasNativeWindow_ && state_->stateHints) {
    state_->stateHints->requestFrameExtents(windowNumber());
  }
}

void QtWindow::setMinSize(const Size& size) {
  if (host_) {
    host_->setMinimumSize(static_cast<int>(std::lround(size.width)),
                          static_cast<int>(std::lround(size.height)));
  }
}

Size QtWindow::minSize() const {
  if (!host_) return {};
  return Size{static_cast<double>(host_->minimumWidth()),
              static_cast<double>(host_->minimumHeight())};
}

void QtWindow::setShape(std::optional<std::vector<Rect>> rects) {
  shape_ = std::move(rects);
  if (!host_) return;
  if (!shape_) {
    host_->clearMask();
    return;
  }
  // Whole pixels covering each rectangle; an empty region would show the whole window, so an
  // empty shape keeps one pixel outside the window instead.
  QRegion region;
  for (const Rect& rect : *shape_) {
    const int left = static_cast<int>(std::floor(rect.minX()));
    const int top = static_cast<int>(std::floor(rect.minY()));
    const int right = static_cast<int>(std::ceil(rect.maxX()));
    const int bottom = static_cast<int>(std::ceil(rect.maxY()));
    if (right > left && bottom > top) region += QRect(left, top, right - left, bottom - top);
  }
  if (region.isEmpty()) region = QRegion(-1, -1, 1, 1);
  host_->setMask(region);
}

void QtWindow::setContentView(std::shared_ptr<platform::ContentView> view) {
  if (!host_) return;
  if (auto* old = dynamic_cast<QtContentView*>(content_.get())) {
    if (old->widget()) {
      host_->layout()->removeWidget(old->widget());
      old->widget()->setParent(nullptr);
    }
  }
  content_ = std::move(view);
  if (auto* qtView = dynamic_cast<QtContentView*>(content_.get())) {
    if (qtView->widget()) host_->layout()->addWidget(qtView->widget());
  }
}

void QtWindow::orderIn(bool makeKey) {
  if (!host_) return;
  if (!hasNativeWindow_) {
    host_->winId();  // creates the native window (and its number) without mapping it
    hasNativeWindow_ = true;
    saidFrameIsStale_ = true;
    applyFlags();
    applyExtraStates();
  }
  orderedIn_ = true;
  // Before mapping: a window shown again would otherwise return to the desktop it was last on.
  if (platform::hasFlag(behavior_, CollectionBehavior::moveToActiveSpace) && state_->stateHints) {
    state_->stateHints->moveToCurrentDesktop(static_cast<std::uint32_t>(host_->winId()),
                                             host_->isVisible());
  }
  syncMapping();
  // Brought forward by a key request, an iconified window comes back first.
  if (makeKey && host_->isMinimized()) {
    host_->setWindowState(host_->windowState() & ~Qt::WindowMinimized);
  }
  if (host_->isVisible()) {
    host_->raise();
    keepHigherLevelsAbove();
    if (makeKey) host_->activateWindow();
  }
  if (makeKey) state_->keyCandidate = host_.data();
}

void QtWindow::keepHigherLevelsAbove() {
  std::vector<QtWindow*> higher;
  for (QtWindow* other : state_->windows) {
    if (other != this && other->level_ > level_ && other->isOnScreenAboveNormal()) {
      higher.push_back(other);
    }
  }
  std::stable_sort(higher.begin(), higher.end(),
                   [](const QtWindow* a, const QtWindow* b) { return a->level_ < b->level_; });
  chainOnTopWindows();
  for (QtWindow* other : higher) other->host_->raise();
}

bool QtWindow::isOnScreenAboveNormal() const {
  return level_ > WindowLevel::normal && host_ && host_->isVisible() && host_->windowHandle();
}

void QtWindow::chainOnTopWindows() {
  // Each on-top window is made transient for the highest visible on-top window of a lower level.
  // Window managers keep a transient above its parent and in at least the parent's layer, so the
  // order holds even when they lift the lower window into a layer of its own (openbox puts a
  // focused undecorated window that fills its monitor in its full-screen layer).
  std::vector<QtWindow*> onTop;
  for (QtWindow* window : state_->windows) {
    if (window->isOnScreenAboveNormal()) onTop.push_back(window);
  }
  std::stable_sort(onTop.begin(), onTop.end(),
                   [](const QtWindow* a, const QtWindow* b) { return a->level_ < b->level_; });
  for (QtWindow* window : state_->windows) {
    if (!window->host_ || !window->hasNativeWindow_) continue;
    WId parent = 0;
    if (window->isOnScreenAboveNormal()) {
      for (QtWindow* lower : onTop) {
        if (lower->level_ < window->level_) parent = lower->host_->winId();
      }
    }
    if (window->transientFor_ != parent && state_->stateHints) {
      window->transientFor_ = parent;
      state_->stateHints->setTransientFor(static_cast<std::uint32_t>(window->host_->winId()),
                                          static_cast<std::uint32_t>(parent));
    }
  }
}

void QtWindow::orderFront() {
  if (canBeOrderedFront_) orderIn(false);
}

void QtWindow::orderFrontRegardless() {
  orderIn(false);
}

void QtWindow::makeKeyAndOrderFront() {
  if (canBeOrderedFront_) orderIn(true);
}

void QtWindow::orderOut() {
  orderedIn_ = false;
  syncMapping();
  chainOnTopWindows();
}

void QtWindow::close() {
  orderedIn_ = false;
  // Off screen first, so no window stays transient for one that is going away.
  syncMapping();
  chainOnTopWindows();
  hasNativeWindow_ = false;
  if (auto* qtView = dynamic_cast<QtContentView*>(content_.get())) {
    if (qtView->widget() && host_) qtView->widget()->setParent(nullptr);
  }
  content_.reset();
  delete host_.data();
}

bool QtWindow::shouldBeMapped() const {
  return orderedIn_ && (!mapsOnlyWhenShared_ || sharing_ == SharingType::readOnly);
}

bool QtWindow::isMapped() const {
  return host_ && host_->isVisible();
}

bool QtWindow::isKey() const {
  return host_ && host_->isVisible() && host_->isActiveWindow();
}

void QtWindow::syncMapping() {
  if (!host_) return;
  const bool mapped = shouldBeMapped();
  // A window shown only when shared is read by other programs: what they read stays its own from
  // before it is mapped until after it is unmapped, whatever ends meanwhile (the capture's
  // redirects of every window among others).
  if (mapped && mapsOnlyWhenShared_) keepContentsReadable(true);
  if (mapped && !host_->isVisible()) {
    // Answered by the time the window manager maps it, so the frame it then says is this one's.
    requestFrameExtents();
    host_->show();
    applyExtraStates();
  } else if (!mapped && host_->isVisible()) {
    host_->hide();
    if (orderedIn_ && mapsOnlyWhenShared_) withdrawForGood();
  }
  if (!host_->isVisible()) keepContentsReadable(false);
}

void QtWindow::keepContentsReadable(bool keep) {
  if (!state_->stateHints || (!keep && readableWindow_ == 0)) return;
  const WId window = host_->winId();
  // A native window replaced since took its redirect with it.
  if (readableWindow_ != window) readableWindow_ = 0;
  if (keep == (readableWindow_ != 0)) return;
  readableWindow_ = keep ? window : 0;
  state_->stateHints->keepContentsReadable(static_cast<std::uint32_t>(window), keep);
}

void QtWindow::withdrawForGood() {
  // A window manager that has not yet acted on the map request still maps the window after our
  // unmap (the unmap finds it unmapped and does nothing), then withdraws it again: for that
  // moment it would be on the screen. A destroyed window cannot be mapped: a new native window,
  // never asked to be mapped, takes its place.
  host_->replaceNativeWindow();
  transientFor_ = 0;
  saidFrameIsStale_ = true;
  applyFlags();
  applyExtraStates();
  chainOnTopWindows();
}

void QtWindow::applyFlags() {
  if (!host_) return;
  Qt::WindowFlags flags = Qt::Window;
  if (style_ == WindowStyle::borderless) flags |= Qt::FramelessWindowHint;
  switch (level_) {
    case WindowLevel::belowDesktop:
      flags |= Qt::WindowStaysOnBottomHint;
      break;
    case WindowLevel::normal:
      break;
    case WindowLevel::floating:
    case WindowLevel::status:
    case WindowLevel::screenSaver:
      flags |= Qt::WindowStaysOnTopHint;
      break;
  }
  if (ignoresMouse_) flags |= Qt::WindowTransparentForInput | Qt::WindowDoesNotAcceptFocus;
  if (hasNativeWindow_ && host_->windowHandle()) {
    // Changing a created window's flags through QWidget would re-create (and re-number) it; the
    // QWindow updates the hints of the existing native window instead.
    host_->overrideWindowFlags(flags);
    host_->windowHandle()->setFlags(flags);
    // Qt writes the window's type anew with its flags: a window hidden on this screen keeps the
    // hints that hide it.
    if (!shownLocally_ && state_->stateHints) {
      state_->stateHints->setShownLocally(static_cast<std::uint32_t>(host_->winId()), false);
    }
  } else {
    host_->setWindowFlags(flags);
  }
}

void QtWindow::applyExtraStates() {
  if (!host_ || !hasNativeWindow_) return;
  if (!state_->stateHints) return;
  platform::ExtraWindowStates states;
  states.sticky = platform::hasFlag(behavior_, CollectionBehavior::canJoinAllSpaces) ||
                  platform::hasFlag(behavior_, CollectionBehavior::stationary);
  const bool outOfCycle =
      platform::hasFlag(behavior_, CollectionBehavior::ignoresCycle) || !listed_;
  states.skipTaskbar = outOfCycle;
  states.skipPager = outOfCycle;
  // Asked again only when something changed: each request reads what the server holds.
  const AppliedStates applied{static_cast<std::uint32_t>(host_->winId()), host_->isVisible(),
                              states};
  if (appliedStates_ == applied) return;
  appliedStates_ = applied;
  state_->stateHints->apply(applied.windowNumber, applied.mapped, states);
}

QtWindowSystem::QtWindowSystem(std::shared_ptr<platform::Screens> screens,
                               std::shared_ptr<platform::WindowStateHints> stateHints)
    : screens_(std::move(screens)), state_(std::make_shared<QtWindowSystemState>()) {
  if (!screens_) {
    std::fputs("corvane: the window system needs the desktop's screens\n", stderr);
    std::abort();
  }
  state_->stateHints = std::move(stateHints);
  if (!state_->stateHints) return;
  // Each window hears of its own frame; the window system's state outlives this subscription.
  std::weak_ptr<QtWindowSystemState> weakState = state_;
  frameExtentChanges_ =
      state_->stateHints->observeFrameExtentChanges([weakState](std::uint32_t number) {
        auto state = weakState.lock();
        if (!state) return;
        for (QtWindow* window : std::vector<QtWindow*>(state->windows)) {
          if (window->windowNumber() == number) window->frameExtentsDidChange();
        }
      });
}

std::shared_ptr<platform::TopLevelWindow> QtWindowSystem::makeWindow(const Rect& frame,
                                                                     WindowStyle style) {
  return std::make_shared<QtWindow>(state_, frame, style);
}

std::vector<platform::Screen> QtWindowSystem::screens() const {
  return screens_->screens();
}

void QtWindowSystem::activateApplication(bool) {
  QWidget* key = state_->keyCandidate.data();
  if (key && key->isVisible()) {
    key->raise();
    key->activateWindow();
  }
}

}  // namespace corvane::ui
