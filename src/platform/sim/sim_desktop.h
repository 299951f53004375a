#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/desktop.h"
#include "platform/permissions.h"
#include "platform/screen_capture.h"
#include "platform/screens.h"
#include "platform/sim/sim_capture_script.h"
#include "platform/sim/sim_desktop_state.h"
#include "platform/workspace.h"
#include "runtime/observers.h"
#include "runtime/result.h"

namespace corvane::platform::sim {

class SimCaptureStream;

// A deterministic desktop for headless tests: displays, applications with their windows, virtual
// desktops, the pointer and input idleness, screen-capture permission and a scriptable capture
// service whose frames are composed from the desktop's state.
//
// Time is the installed main actor's (a runtime::VirtualRunLoop in tests): every delay is a
// main-executor timer and nothing happens until the test moves the clock. The desktop is driven
// from the main actor; its read-only queries may be called from any thread.
//
// Every mutation that the real desktop announces reaches the workspace or screen observers on
// the main actor's next turn, after the state has changed. Each window paints
// with colours that carry its id (sim_colors.h), so frames can be checked pixel by pixel.
class SimDesktop final : public Workspace,
                         public Screens,
                         public Permissions,
                         public InputIdleness,
                         public CursorSource,
                         public ScreenCapture,
                         public std::enable_shared_from_this<SimDesktop> {
 public:
  // An empty desktop: no display, no application, desktop 0 active.
  static std::shared_ptr<SimDesktop> make();
  // A display record whose visible frame leaves out a 24-point panel along the top.
  static Screen makeDisplay(std::uint32_t displayID, Rect frame, double scale = 1.0,
                            bool isMain = false);

  SimDesktop(const SimDesktop&) = delete;
  SimDesktop& operator=(const SimDesktop&) = delete;

  // This desktop as the application sees one: every service is this object.
  Desktop desktop();

  // Displays. Observers of screen changes hear of each change.
  runtime::Status addDisplay(Screen display);
  // Moves or resizes a connected display (matched by displayID).
  runtime::Status updateDisplay(Screen display);
  runtime::Status removeDisplay(std::uint32_t displayID);

  // Applications. Launch announces applicationLaunched and returns the process id.
  runtime::Result<std::int32_t> launchApplication(SimApplicationSpec spec);
  // Quits at once, whatever refusesToQuit says (the user quit it, or it crashed); its windows go.
  runtime::Status quitApplication(std::int32_t processIdentifier);
  std::optional<RunningApplication> application(std::int32_t processIdentifier) const;
  std::optional<RunningApplication> applicationWithBundleIdentifier(
      const std::string& bundleIdentifier) const;

  // Windows. A new window opens on top of its layer (desktop-icons windows stay beneath every
  // other window).
  runtime::Result<std::uint32_t> addWindow(std::int32_t ownerProcessIdentifier, SimWindowSpec spec);
  runtime::Status moveWindow(std::uint32_t windowID, Point origin);
  runtime::Status resizeWindow(std::uint32_t windowID, Size size);
  runtime::Status moveWindowToDesktop(std::uint32_t windowID, int desktop);
  runtime::Status raiseWindow(std::uint32_t windowID);
  runtime::Status closeWindow(std::uint32_t windowID);
  // This application's own windows as they stand now (see SimOwnWindowLayer).
  void setOwnWindows(std::vector<SimOwnWindowLayer> layers);
  // Repaints the window with another pattern (new content in the same place).
  runtime::Status setWindowPattern(std::uint32_t windowID, SimWindowPattern pattern);
  std::optional<SimDesktopWindow> window(std::uint32_t windowID) const;

  // The active virtual desktop; a change announces activeDesktopChanged.
  void switchDesktop(int desktop);
  // The desktop background; refused for a colour that would read as a window's.
  runtime::Status setBackgroundColor(std::uint32_t argb);
  SimDesktopState snapshot() const;
  // The state's revision: it moves on every change that can alter a composed frame.
  std::uint64_t revision() const;

  // The pointer. Moving it counts as input.
  void moveCursor(Point position);
  // A null image hides the pointer.
  void setCursorImage(SharedPixelBuffer image, Point hotSpot);
  void setSecondsSinceLastInput(double seconds);

  // Permissions as the test wants them. A denied capture fails every capture request with the
  // reason; with grantsOnRequest, requestScreenCapture() grants it.
  void setScreenCaptureAllowed(bool allowed, std::string denialReason = kDefaultDenialReason);
  void setGrantsScreenCaptureOnRequest(bool grants);
  void setAccessibilityTrusted(bool trusted);
  int screenCaptureRequestCount() const;

  // What openURL was asked to open, and whether it succeeds.
  std::vector<std::string> openedURLs() const;
  void setOpensURLs(bool opens);

  // The capture script, read by every capture request and every due frame. Change it from the
  // main actor (the test body).
  SimCaptureScript& captureScript() { return captureScript_; }
  SimCaptureCounters captureCounters() const;
  // Streams made and not yet released, oldest first.
  std::vector<std::shared_ptr<SimCaptureStream>> liveStreams() const;
  // Every running stream stops by itself with this error.
  void stopStreamsWithError(const std::string& message);

  // Frame inspection for privacy checks. Windows are recognised by their colours, including
  // windows and applications that are gone since the frame was composed.
  std::set<std::uint32_t> windowsInFrame(const PixelBuffer& frame) const;
  bool frameContainsWindow(const PixelBuffer& frame, std::uint32_t windowID) const;
  bool frameContainsPixelsOf(const PixelBuffer& frame, const std::string& bundleIdentifier) const;
  // True when the frame holds a pixel of any window that `filter` leaves out, by the filter's own
  // meaning (application id or process), whatever matching the capture script uses.
  bool frameIsUnfiltered(const PixelBuffer& frame, const ContentFilter& filter) const;
  std::optional<SimWindowOwner> windowOwner(std::uint32_t windowID) const;

  // The composition a capture of `filter` would show now (see composeFrame).
  runtime::Result<std::shared_ptr<PixelBuffer>> composeNow(const ContentFilter& filter, int width,
                                                           int height,
                                                           bool showsCursor = false) const;

  // Workspace
  std::vector<RunningApplication> runningApplications() const override;
  std::optional<RunningApplication> frontmostApplication() const override;
  std::optional<RunningApplication> desktopWindowOwner() const override;
  int activeDesktop() const override;
  std::vector<Rect> frontmostApplicationWindowFrames() const override;
  bool activate(std::int32_t processIdentifier) override;
  bool hide(std::int32_t processIdentifier) override;
  bool unhide(std::int32_t processIdentifier) override;
  bool terminate(std::int32_t processIdentifier) override;
  bool openURL(const std::string& url) override;
  runtime::Subscription observe(WorkspaceObserver observer) override {
    return workspaceObservers_.add(std::move(observer));
  }

  // Screens
  std::vector<Screen> screens() const override;
  runtime::Subscription observeChanges(std::function<void()> observer) override {
    return screenObservers_.add(std::move(observer));
  }

  // Permissions
  bool screenCapturePreflight() const override;
  bool requestScreenCapture() override;
  std::optional<std::string> screenCaptureDenialReason() const override;
  bool accessibilityTrusted() const override;

  // InputIdleness
  double secondsSinceLastInput() const override;

  // CursorSource
  std::optional<Point> cursorPosition() const override;
  CursorImage currentCursorImage() const override;

  // ScreenCapture
  void shareableContent(std::function<void(runtime::Result<ShareableContent>)> completion) override;
  std::shared_ptr<CaptureStream> makeStream(
      ContentFilter filter, StreamConfiguration configuration, StreamOutput output,
      std::shared_ptr<runtime::SerialQueue> sampleQueue) override;
  // makeStream with the simulation's own type, for tests that look into the stream.
  std::shared_ptr<SimCaptureStream> makeSimStream(
      ContentFilter filter, StreamConfiguration configuration, StreamOutput output,
      std::shared_ptr<runtime::SerialQueue> sampleQueue);
  void captureImage(ContentFilter filter, StreamConfiguration configuration,
                    std::function<void(runtime::Result<SharedPixelBuffer>)> completion) override;

  static constexpr const char* kDefaultDenialReason =
      "Screen capture is not allowed. Log in to an X11 session and try again.";

 private:
  friend class SimCaptureStream;

  SimDesktop();

  // Called by streams.
  struct Composition {
    std::shared_ptr<PixelBuffer> frame;
    std::uint64_t revision = 0;
  };
  runtime::Result<Composition> composeForStream(const ContentFilter& filter,
                                                const StreamConfiguration& configuration) const;
  void count(int SimCaptureCounters::*counter);
  runtime::Status captureAllowed() const;

  void postWorkspaceEvent(WorkspaceEventKind kind, std::optional<RunningApplication> application);
  void postApplicationEvent(WorkspaceEventKind kind, const RunningApplication& application);
  void postScreensChanged();
  // Makes the owner of the topmost window on screen active (none when there is none); returns
  // the newly active application. Called with the lock held.
  std::optional<RunningApplication> activateNextApplicationLocked(std::int32_t leaving);
  void raiseApplicationWindowsLocked(std::int32_t processIdentifier);
  void insertWindowLocked(SimDesktopWindow window);
  template <class Change>
  runtime::Status changeWindow(std::uint32_t windowID, Change change);

  mutable std::mutex mutex_;
  SimDesktopState state_;
  std::map<std::uint32_t, SimWindowOwner> windowOwners_;  // every window ever opened
  std::uint32_t nextWindowID_ = 0x101;
  std::int32_t nextProcessID_ = 4001;
  double lastInputUptime_ = 0;
  bool screenCaptureAllowed_ = true;
  std::string denialReason_;
  bool grantsOnRequest_ = false;
  bool accessibilityTrusted_ = true;
  int screenCaptureRequests_ = 0;
  std::vector<std::string> openedURLs_;
  bool opensURLs_ = true;
  SimCaptureCounters counters_;
  std::vector<std::weak_ptr<SimCaptureStream>> streams_;

  SimCaptureScript captureScript_;
  runtime::Observers<const WorkspaceEvent&> workspaceObservers_;
  runtime::Observers<> screenObservers_;
};

}  // namespace corvane::platform::sim
