#include "platform/sim/sim_desktop.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/sim/sim_colors.h"
#include "runtime/main_actor.h"
#include "runtime/runtime.h"

namespace corvane::platform::sim {
namespace {

constexpr double kPanelHeight = 24;
constexpr int kCursorSide = 12;

bool isFinite(const Rect& rect) {
  return std::isfinite(rect.minX()) && std::isfinite(rect.minY()) && std::isfinite(rect.width()) &&
         std::isfinite(rect.height());
}

runtime::Status noWindow(std::uint32_t windowID) {
  return runtime::Status::failure("There is no window " + std::to_string(windowID) + ".");
}

runtime::Status noApplication(std::int32_t processIdentifier) {
  return runtime::Status::failure("No application runs with process " +
                                  std::to_string(processIdentifier) + ".");
}

// Desktop-icons windows lie beneath every other window.
int layerOf(const SimDesktopWindow& window) {
  return window.kind == SimWindowKind::desktopIcons ? 0 : 1;
}

// A white square with a black outline, its hot spot at the top left.
SharedPixelBuffer defaultCursorImage() {
  auto image = std::make_shared<PixelBuffer>(kCursorSide, kCursorSide);
  image->fill(kCursorOutlineColor);
  for (int y = 1; y < kCursorSide - 1; ++y) {
    for (int x = 1; x < kCursorSide - 1; ++x) image->setPixel(x, y, kCursorFillColor);
  }
  return image;
}

}  // namespace

Desktop SimDesktop::desktop() {
  auto self = shared_from_this();
  return Desktop{self, self, self, self, self, self};
}

std::shared_ptr<SimDesktop> SimDesktop::make() {
  return std::shared_ptr<SimDesktop>(new SimDesktop());
}

SimDesktop::SimDesktop() : denialReason_(kDefaultDenialReason) {
  state_.backgroundColor = kDefaultBackgroundColor;
  state_.cursor.image = defaultCursorImage();
  lastInputUptime_ = runtime::hasRuntime() ? runtime::uptime() : 0.0;
}

Screen SimDesktop::makeDisplay(std::uint32_t displayID, Rect frame, double scale, bool isMain) {
  Screen screen;
  screen.displayID = displayID;
  screen.name = "SIM-" + std::to_string(displayID);
  screen.frame = frame;
  const double panel = std::min(kPanelHeight, frame.height());
  screen.visibleFrame =
      Rect{{frame.minX(), frame.minY() + panel}, {frame.width(), frame.height() - panel}};
  screen.backingScaleFactor = scale;
  screen.isMain = isMain;
  return screen;
}

// ---- Notifications

void SimDesktop::postWorkspaceEvent(WorkspaceEventKind kind,
                                    std::optional<RunningApplication> application) {
  WorkspaceEvent event{kind, std::move(application), activeDesktop()};
  runtime::postToMain(weak_from_this(), [event = std::move(event)](SimDesktop& self) {
    self.workspaceObservers_.notify(event);
  });
}

void SimDesktop::postApplicationEvent(WorkspaceEventKind kind,
                                      const RunningApplication& application) {
  postWorkspaceEvent(kind, application);
}

void SimDesktop::postScreensChanged() {
  runtime::postToMain(weak_from_this(), [](SimDesktop& self) { self.screenObservers_.notify(); });
}

// ---- Displays

runtime::Status SimDesktop::addDisplay(Screen display) {
  if (!isFinite(display.frame) || display.frame.isEmpty() || !(display.backingScaleFactor > 0) ||
      !std::isfinite(display.backingScaleFactor)) {
    return runtime::Status::failure("A display needs a positive size and scale.");
  }
  {
    std::lock_guard lock(mutex_);
    if (state_.display(display.displayID)) {
      return runtime::Status::failure("Display " + std::to_string(display.displayID) +
                                      " is already connected.");
    }
    if (display.isMain) {
      for (auto& other : state_.displays) other.isMain = false;
    }
    state_.displays.push_back(std::move(display));
    ++state_.revision;
  }
  postScreensChanged();
  return runtime::Status::success();
}

runtime::Status SimDesktop::updateDisplay(Screen display) {
  if (!isFinite(display.frame) || display.frame.isEmpty() || !(display.backingScaleFactor > 0) ||
      !std::isfinite(display.backingScaleFactor)) {
    return runtime::Status::failure("A display needs a positive size and scale.");
  }
  {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(state_.displays.begin(), state_.displays.end(),
                           [&](const Screen& s) { return s.displayID == display.displayID; });
    if (it == state_.displays.end()) {
      return runtime::Status::failure("Display " + std::to_string(display.displayID) +
                                      " is not connected.");
    }
    if (display.isMain) {
      for (auto& other : state_.displays) other.isMain = false;
    }
    *it = std::move(display);
    ++state_.revision;
  }
  postScreensChanged();
  return runtime::Status::success();
}

runtime::Status SimDesktop::removeDisplay(std::uint32_t displayID) {
  {
    std::lock_guard lock(mutex_);
    const auto removed =
        std::erase_if(state_.displays, [&](const Screen& s) { return s.displayID == displayID; });
    if (removed == 0) {
      return runtime::Status::failure("Display " + std::to_string(displayID) +
                                      " is not connected.");
    }
    ++state_.revision;
  }
  postScreensChanged();
  return runtime::Status::success();
}

std::vector<Screen> SimDesktop::screens() const {
  std::lock_guard lock(mutex_);
  return state_.displays;
}

// ---- Applications

runtime::Result<std::int32_t> SimDesktop::launchApplication(SimApplicationSpec spec) {
  if (spec.bundleIdentifier.empty()) {
    return runtime::Error{"An application needs an application id."};
  }
  RunningApplication launched;
  {
    std::lock_guard lock(mutex_);
    if (spec.processIdentifier == 0) {
      while (state_.application(nextProcessID_)) ++nextProcessID_;
      spec.processIdentifier = nextProcessID_++;
    } else if (spec.processIdentifier < 0 || state_.application(spec.processIdentifier)) {
      return runtime::Error{"Process " + std::to_string(spec.processIdentifier) +
                            " cannot be used for a new application."};
    }
    launched.bundleIdentifier = std::move(spec.bundleIdentifier);
    launched.localizedName = spec.name.empty() ? launched.bundleIdentifier : std::move(spec.name);
    launched.processIdentifier = spec.processIdentifier;
    launched.hasOrdinaryWindows = spec.hasOrdinaryWindows;
    state_.applications.push_back(SimApplication{launched, spec.refusesToQuit});
    ++state_.revision;
  }
  postApplicationEvent(WorkspaceEventKind::applicationLaunched, launched);
  return launched.processIdentifier;
}

runtime::Status SimDesktop::quitApplication(std::int32_t processIdentifier) {
  RunningApplication quit;
  std::optional<RunningApplication> nextActive;
  {
    std::lock_guard lock(mutex_);
    const SimApplication* app = state_.application(processIdentifier);
    if (app == nullptr) return noApplication(processIdentifier);
    quit = app->info;
    std::erase_if(state_.applications, [&](const SimApplication& a) {
      return a.info.processIdentifier == processIdentifier;
    });
    std::erase_if(state_.windows,
                  [&](const SimDesktopWindow& w) { return w.ownerProcessID == processIdentifier; });
    if (quit.isActive) nextActive = activateNextApplicationLocked(processIdentifier);
    ++state_.revision;
  }
  quit.isActive = false;
  quit.isTerminated = true;
  postApplicationEvent(WorkspaceEventKind::applicationTerminated, quit);
  if (nextActive) postApplicationEvent(WorkspaceEventKind::applicationActivated, *nextActive);
  return runtime::Status::success();
}

std::optional<RunningApplication> SimDesktop::application(std::int32_t processIdentifier) const {
  std::lock_guard lock(mutex_);
  const SimApplication* app = state_.application(processIdentifier);
  if (app == nullptr) return std::nullopt;
  return app->info;
}

std::optional<RunningApplication> SimDesktop::applicationWithBundleIdentifier(
    const std::string& bundleIdentifier) const {
  std::lock_guard lock(mutex_);
  for (const auto& app : state_.applications) {
    if (app.info.bundleIdentifier == bundleIdentifier) return app.info;
  }
  return std::nullopt;
}

std::vector<RunningApplication> SimDesktop::runningApplications() const {
  std::lock_guard lock(mutex_);
  std::vector<RunningApplication> running;
  running.reserve(state_.applications.size());
  for (const auto& app : state_.applications) running.push_back(app.info);
  return running;
}

std::optional<RunningApplication> SimDesktop::frontmostApplication() const {
  std::lock_guard lock(mutex_);
  for (const auto& app : state_.applications) {
    if (app.info.isActive) return app.info;
  }
  return std::nullopt;
}

std::vector<Rect> SimDesktop::frontmostApplicationWindowFrames() const {
  std::lock_guard lock(mutex_);
  std::vector<Rect> frames;
  for (const auto& app : state_.applications) {
    if (!app.info.isActive) continue;
    for (const auto& window : state_.windows) {
      if (window.ownerProcessID == app.info.processIdentifier && state_.isOnScreen(window)) {
        frames.push_back(window.frame);
      }
    }
  }
  return frames;
}

std::optional<RunningApplication> SimDesktop::desktopWindowOwner() const {
  std::lock_guard lock(mutex_);
  for (const auto& window : state_.windows) {
    if (window.kind != SimWindowKind::desktopIcons) continue;
    if (const SimApplication* app = state_.application(window.ownerProcessID)) return app->info;
  }
  return std::nullopt;
}

std::optional<RunningApplication> SimDesktop::activateNextApplicationLocked(std::int32_t leaving) {
  for (auto& app : state_.applications) app.info.isActive = false;
  for (auto it = state_.windows.rbegin(); it != state_.windows.rend(); ++it) {
    if (it->ownerProcessID == leaving || !state_.isOnScreen(*it)) continue;
    SimApplication* next = state_.application(it->ownerProcessID);
    next->info.isActive = true;
    return next->info;
  }
  return std::nullopt;
}

void SimDesktop::raiseApplicationWindowsLocked(std::int32_t processIdentifier) {
  // Its ordinary windows move above every other ordinary window, keeping their own order.
  std::stable_partition(state_.windows.begin(), state_.windows.end(),
                        [&](const SimDesktopWindow& w) {
                          return layerOf(w) == 0 || w.ownerProcessID != processIdentifier;
                        });
}

bool SimDesktop::activate(std::int32_t processIdentifier) {
  std::optional<RunningApplication> unhidden;
  RunningApplication activated;
  bool wasActive = false;
  {
    std::lock_guard lock(mutex_);
    SimApplication* app = state_.application(processIdentifier);
    if (app == nullptr) return false;
    if (app->info.isHidden) {
      app->info.isHidden = false;
      unhidden = app->info;
    }
    wasActive = app->info.isActive;
    for (auto& other : state_.applications) other.info.isActive = false;
    app->info.isActive = true;
    activated = app->info;
    raiseApplicationWindowsLocked(processIdentifier);
    ++state_.revision;
  }
  if (unhidden) postApplicationEvent(WorkspaceEventKind::applicationUnhidden, *unhidden);
  // Bringing the frontmost application forward again raises its windows but announces nothing.
  if (!wasActive) postApplicationEvent(WorkspaceEventKind::applicationActivated, activated);
  return true;
}

bool SimDesktop::hide(std::int32_t processIdentifier) {
  RunningApplication hidden;
  std::optional<RunningApplication> nextActive;
  {
    std::lock_guard lock(mutex_);
    SimApplication* app = state_.application(processIdentifier);
    if (app == nullptr) return false;
    if (app->info.isHidden) return true;
    app->info.isHidden = true;
    const bool wasActive = app->info.isActive;
    app->info.isActive = false;
    hidden = app->info;
    if (wasActive) nextActive = activateNextApplicationLocked(processIdentifier);
    ++state_.revision;
  }
  postApplicationEvent(WorkspaceEventKind::applicationHidden, hidden);
  if (nextActive) postApplicationEvent(WorkspaceEventKind::applicationActivated, *nextActive);
  return true;
}

bool SimDesktop::unhide(std::int32_t processIdentifier) {
  RunningApplication shown;
  {
    std::lock_guard lock(mutex_);
    SimApplication* app = state_.application(processIdentifier);
    if (app == nullptr) return false;
    if (!app->info.isHidden) return true;
    app->info.isHidden = false;
    shown = app->info;
    ++state_.revision;
  }
  postApplicationEvent(WorkspaceEventKind::applicationUnhidden, shown);
  return true;
}

bool SimDesktop::terminate(std::int32_t processIdentifier) {
  {
    std::lock_guard lock(mutex_);
    const SimApplication* app = state_.application(processIdentifier);
    if (app == nullptr) return false;
    if (app->refusesToQuit) return true;
  }
  return quitApplication(processIdentifier).ok();
}

bool SimDesktop::openURL(const std::string& url) {
  std::lock_guard lock(mutex_);
  if (url.empty() || !opensURLs_) return false;
  openedURLs_.push_back(url);
  return true;
}

std::vector<std::string> SimDesktop::openedURLs() const {
  std::lock_guard lock(mutex_);
  return openedURLs_;
}

void SimDesktop::setOpensURLs(bool opens) {
  std::lock_guard lock(mutex_);
  opensURLs_ = opens;
}

// ---- Windows

void SimDesktop::insertWindowLocked(SimDesktopWindow window) {
  const int layer = layerOf(window);
  auto above = std::find_if(state_.windows.begin(), state_.windows.end(),
                            [&](const SimDesktopWindow& w) { return layerOf(w) > layer; });
  state_.windows.insert(above, std::move(window));
}

runtime::Result<std::uint32_t> SimDesktop::addWindow(std::int32_t ownerProcessIdentifier,
                                                     SimWindowSpec spec) {
  if (!isFinite(spec.frame) || spec.frame.width() < 0 || spec.frame.height() < 0) {
    return runtime::Error{"A window needs a finite frame of non-negative size."};
  }
  std::lock_guard lock(mutex_);
  const SimApplication* app = state_.application(ownerProcessIdentifier);
  if (app == nullptr) return noApplication(ownerProcessIdentifier).error();
  if (nextWindowID_ > kMaxSimWindowId) return runtime::Error{"The desktop has no window ids left."};
  SimDesktopWindow window;
  window.id = nextWindowID_++;
  window.ownerProcessID = ownerProcessIdentifier;
  window.title = std::move(spec.title);
  window.frame = spec.frame;
  window.desktop = spec.desktop < 0 ? -1 : spec.desktop;
  window.kind = spec.kind;
  window.pattern = spec.pattern;
  windowOwners_[window.id] =
      SimWindowOwner{app->info.bundleIdentifier, ownerProcessIdentifier, window.kind};
  const std::uint32_t id = window.id;
  insertWindowLocked(std::move(window));
  ++state_.revision;
  return id;
}

template <class Change>
runtime::Status SimDesktop::changeWindow(std::uint32_t windowID, Change change) {
  std::lock_guard lock(mutex_);
  auto it = std::find_if(state_.windows.begin(), state_.windows.end(),
                         [&](const SimDesktopWindow& w) { return w.id == windowID; });
  if (it == state_.windows.end()) return noWindow(windowID);
  change(*it);
  ++state_.revision;
  return runtime::Status::success();
}

runtime::Status SimDesktop::moveWindow(std::uint32_t windowID, Point origin) {
  if (!std::isfinite(origin.x) || !std::isfinite(origin.y)) {
    return runtime::Status::failure("A window cannot move to a point off every number line.");
  }
  return changeWindow(windowID, [&](SimDesktopWindow& w) { w.frame.origin = origin; });
}

runtime::Status SimDesktop::resizeWindow(std::uint32_t windowID, Size size) {
  if (!std::isfinite(size.width) || !std::isfinite(size.height) || size.width < 0 ||
      size.height < 0) {
    return runtime::Status::failure("A window needs a finite, non-negative size.");
  }
  return changeWindow(windowID, [&](SimDesktopWindow& w) { w.frame.size = size; });
}

runtime::Status SimDesktop::moveWindowToDesktop(std::uint32_t windowID, int desktop) {
  return changeWindow(windowID,
                      [&](SimDesktopWindow& w) { w.desktop = desktop < 0 ? -1 : desktop; });
}

runtime::Status SimDesktop::setWindowPattern(std::uint32_t windowID, SimWindowPattern pattern) {
  return changeWindow(windowID, [&](SimDesktopWindow& w) { w.pattern = pattern; });
}

runtime::Status SimDesktop::raiseWindow(std::uint32_t windowID) {
  std::lock_guard lock(mutex_);
  auto it = std::find_if(state_.windows.begin(), state_.windows.end(),
                         [&](const SimDesktopWindow& w) { return w.id == windowID; });
  if (it == state_.windows.end()) return noWindow(windowID);
  SimDesktopWindow window = std::move(*it);
  state_.windows.erase(it);
  insertWindowLocked(std::move(window));
  ++state_.revision;
  return runtime::Status::success();
}

runtime::Status SimDesktop::closeWindow(std::uint32_t windowID) {
  std::lock_guard lock(mutex_);
  const auto removed =
      std::erase_if(state_.windows, [&](const SimDesktopWindow& w) { return w.id == windowID; });
  if (removed == 0) return noWindow(windowID);
  ++state_.revision;
  return runtime::Status::success();
}

std::optional<SimDesktopWindow> SimDesktop::window(std::uint32_t windowID) const {
  std::lock_guard lock(mutex_);
  const SimDesktopWindow* found = state_.window(windowID);
  if (found == nullptr) return std::nullopt;
  return *found;
}

std::optional<SimWindowOwner> SimDesktop::windowOwner(std::uint32_t windowID) const {
  std::lock_guard lock(mutex_);
  auto it = windowOwners_.find(windowID);
  if (it == windowOwners_.end()) return std::nullopt;
  return it->second;
}

// ---- Desktops, background, pointer, input

void SimDesktop::switchDesktop(int desktop) {
  desktop = std::max(0, desktop);
  {
    std::lock_guard lock(mutex_);
    if (state_.activeDesktop == desktop) return;
    state_.activeDesktop = desktop;
    ++state_.revision;
  }
  postWorkspaceEvent(WorkspaceEventKind::activeDesktopChanged, std::nullopt);
}

int SimDesktop::activeDesktop() const {
  std::lock_guard lock(mutex_);
  return state_.activeDesktop;
}

runtime::Status SimDesktop::setBackgroundColor(std::uint32_t argb) {
  if (windowIdForColor(argb)) {
    return runtime::Status::failure("That background colour would read as a window's colour.");
  }
  std::lock_guard lock(mutex_);
  state_.backgroundColor = argb;
  ++state_.revision;
  return runtime::Status::success();
}

SimDesktopState SimDesktop::snapshot() const {
  std::lock_guard lock(mutex_);
  return state_;
}

std::uint64_t SimDesktop::revision() const {
  std::lock_guard lock(mutex_);
  return state_.revision;
}

void SimDesktop::moveCursor(Point position) {
  std::lock_guard lock(mutex_);
  state_.cursor.position = position;
  lastInputUptime_ = runtime::hasRuntime() ? runtime::uptime() : 0.0;
  ++state_.revision;
}

void SimDesktop::setCursorImage(SharedPixelBuffer image, Point hotSpot) {
  std::lock_guard lock(mutex_);
  state_.cursor.image = std::move(image);
  state_.cursor.hotSpot = hotSpot;
  ++state_.cursor.serial;
  ++state_.revision;
}

void SimDesktop::setSecondsSinceLastInput(double seconds) {
  std::lock_guard lock(mutex_);
  lastInputUptime_ = runtime::uptime() - std::max(0.0, seconds);
}

double SimDesktop::secondsSinceLastInput() const {
  std::lock_guard lock(mutex_);
  return std::max(0.0, runtime::uptime() - lastInputUptime_);
}

std::optional<Point> SimDesktop::cursorPosition() const {
  std::lock_guard lock(mutex_);
  if (state_.displays.empty()) return std::nullopt;
  return state_.cursor.position;
}

CursorImage SimDesktop::currentCursorImage() const {
  std::lock_guard lock(mutex_);
  return CursorImage{state_.cursor.image, state_.cursor.hotSpot, state_.cursor.serial, {}, true};
}

// ---- Permissions

void SimDesktop::setScreenCaptureAllowed(bool allowed, std::string denialReason) {
  std::lock_guard lock(mutex_);
  screenCaptureAllowed_ = allowed;
  denialReason_ = std::move(denialReason);
}

void SimDesktop::setGrantsScreenCaptureOnRequest(bool grants) {
  std::lock_guard lock(mutex_);
  grantsOnRequest_ = grants;
}

void SimDesktop::setAccessibilityTrusted(bool trusted) {
  std::lock_guard lock(mutex_);
  accessibilityTrusted_ = trusted;
}

int SimDesktop::screenCaptureRequestCount() const {
  std::lock_guard lock(mutex_);
  return screenCaptureRequests_;
}

bool SimDesktop::screenCapturePreflight() const {
  std::lock_guard lock(mutex_);
  return screenCaptureAllowed_;
}

bool SimDesktop::requestScreenCapture() {
  std::lock_guard lock(mutex_);
  ++screenCaptureRequests_;
  if (grantsOnRequest_) screenCaptureAllowed_ = true;
  return screenCaptureAllowed_;
}

std::optional<std::string> SimDesktop::screenCaptureDenialReason() const {
  std::lock_guard lock(mutex_);
  if (screenCaptureAllowed_) return std::nullopt;
  return denialReason_;
}

bool SimDesktop::accessibilityTrusted() const {
  std::lock_guard lock(mutex_);
  return accessibilityTrusted_;
}

void SimDesktop::setOwnWindows(std::vector<SimOwnWindowLayer> layers) {
  std::lock_guard lock(mutex_);
  state_.ownWindows = std::move(layers);
  ++state_.revision;
}

}  // namespace corvane::platform::sim
