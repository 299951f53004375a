#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/application_ids.h"
#include "platform/geometry.h"
#include "platform/pixel_buffer.h"
#include "runtime/clock.h"
#include "runtime/result.h"
#include "runtime/serial_queue.h"
#include "runtime/subscription.h"

namespace corvane::platform {

struct ShareableDisplay {
  std::uint32_t displayID = 0;
  Rect frame;  // desktop points
  int pixelWidth = 0;
  int pixelHeight = 0;
};

struct ShareableApplication {
  std::string bundleIdentifier;
  std::string applicationName;
  std::int32_t processID = 0;
  bool operator==(const ShareableApplication&) const = default;
};

struct ShareableWindow {
  std::uint32_t windowID = 0;
  std::optional<ShareableApplication> owningApplication;
  std::string title;
  Rect frame;
  bool isOnScreen = false;
  bool isDesktopWindow = false;  // a desktop-icons window (_NET_WM_WINDOW_TYPE_DESKTOP)
  int desktop = -1;              // virtual desktop, -1 = on all desktops
};

struct ShareableContent {
  std::vector<ShareableDisplay> displays;
  std::vector<ShareableApplication> applications;
  std::vector<ShareableWindow> windows;
};

// What a capture leaves out of one display: every window of the excluded applications (their
// popups, menus and dialogs included) and of their helpers, the excluded windows and, when asked,
// the desktop windows; the excepting windows are kept even when their application is excluded.
struct ContentFilter {
  std::uint32_t displayID = 0;
  std::vector<ShareableApplication> excludedApplications;
  std::set<std::uint32_t> excludedWindowIDs;
  std::set<std::uint32_t> exceptingWindowIDs;
  bool excludeDesktopWindows = false;

  // Whether a window of the application `bundleIdentifier` in process `processID` is left out:
  // by its process, by its id or a helper's id ("<id>.<suffix>") of an excluded application, so
  // a helper that starts after the filter was made is left out from its first frame. An id that
  // was taken from the window's WM_CLASS comes with `windowClassNames` (its instance and class),
  // which are compared without regard to case.
  bool excludesApplication(const std::string& bundleIdentifier, std::int32_t processID,
                           const std::vector<std::string>& windowClassNames = {}) const {
    for (const auto& app : excludedApplications) {
      if (processID > 0 && app.processID == processID) return true;
      if (app.bundleIdentifier == bundleIdentifier ||
          namesApplicationOrHelper(bundleIdentifier, app.bundleIdentifier))
        return true;
      for (const auto& name : windowClassNames) {
        if (namesApplicationOrHelper(name, app.bundleIdentifier, IdCase::ignored)) return true;
      }
    }
    return false;
  }
};

struct StreamConfiguration {
  int width = 0;  // output pixels
  int height = 0;
  double minimumFrameInterval = 1.0 / 60.0;  // seconds
  bool showsCursor = false;                  // the engine draws its own cursor
  int queueDepth = 3;
};

// Frame status as reported by the capture service.
enum class FrameStatus { complete, idle, blank, suspended, started, stopped };

// One sample delivered by a stream. `pixels` is null when the sample came without an image.
struct CapturedSample {
  SharedPixelBuffer pixels;
  runtime::Uptime presentationTime = 0;  // host clock (uptime seconds) of the capture
  FrameStatus status = FrameStatus::complete;
  bool valid = true;  // false for a sample the service could not describe
};

// Callbacks of a stream, run on the sample queue given when the stream is made.
struct StreamOutput {
  std::function<void(const CapturedSample&)> onSample;
  // The stream stopped by itself with this error (not after stopCapture).
  std::function<void(const runtime::Error&)> onStopWithError;
};

using Completion = std::function<void(runtime::Status)>;

// A running capture of one display. Completions are called once, from any thread.
class CaptureStream {
 public:
  virtual ~CaptureStream() = default;
  virtual void startCapture(Completion completion) = 0;
  virtual void stopCapture(Completion completion) = 0;
  virtual void updateContentFilter(ContentFilter filter, Completion completion) = 0;
  virtual void updateConfiguration(StreamConfiguration configuration, Completion completion) = 0;
  // Asks for a frame as soon as the stream may make one, even when nothing on screen changed
  // (a stream that makes frames only on change otherwise waits for its keep-alive).
  virtual void requestFrame() {}
};

class ScreenCapture {
 public:
  virtual ~ScreenCapture() = default;
  // Displays, applications and windows that can be captured; the completion runs on any thread.
  virtual void shareableContent(
      std::function<void(runtime::Result<ShareableContent>)> completion) = 0;
  virtual std::shared_ptr<CaptureStream> makeStream(
      ContentFilter filter, StreamConfiguration configuration, StreamOutput output,
      std::shared_ptr<runtime::SerialQueue> sampleQueue) = 0;
  // One filtered image, for the fall-back path; the completion runs on any thread.
  virtual void captureImage(ContentFilter filter, StreamConfiguration configuration,
                            std::function<void(runtime::Result<SharedPixelBuffer>)> completion) = 0;
  // Why applications installed or changed while Corvane runs are found by polling their folders
  // (within seconds) rather than as they change; empty when they are followed as they change.
  virtual std::optional<std::string> applicationIndexPollingReason() const { return std::nullopt; }
};

// The pointer as the capture sees it: an image with its hot spot and the position on the desktop.
struct CursorImage {
  SharedPixelBuffer image;   // null when the pointer is hidden
  Point hotSpot;             // pixels from the image's top left
  std::uint64_t serial = 0;  // changes when the image changes
  // The windows under the pointer when it was last read, by id, each path from a top-level window
  // down to the deepest: two paths when the pointer went from one window to another while the
  // image was read, none when it is over no window or the source cannot tell.
  std::vector<std::vector<std::uint32_t>> windowsUnderPointer;
  // Whether the image is the pointer a window under it (or the desktop) defines, rather than one a
  // grab of the pointer shows (a picker's, a drag's), which any client may have set. True when the
  // source cannot tell.
  bool isAWindowsOwn = true;
};

class CursorSource {
 public:
  virtual ~CursorSource() = default;
  // Both callable from any thread.
  virtual std::optional<Point> cursorPosition() const = 0;  // desktop points
  virtual CursorImage currentCursorImage() const = 0;
  // Calls `changed`, on any thread, soon after the position or the image changed, until the
  // subscription ends. An inactive subscription when the source cannot tell: read it often then.
  virtual runtime::Subscription observeCursorChanges(std::function<void()> /*changed*/) {
    return {};
  }
};

}  // namespace corvane::platform
