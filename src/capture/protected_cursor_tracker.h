#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "capture/protected_output_surface.h"
#include "platform/geometry.h"
#include "platform/screen_capture.h"
#include "runtime/subscription.h"
#include "runtime/task.h"

namespace corvane::capture {

// Follows the real pointer while a session runs and hands it to the output surface: the cursor
// image with its hot spot, and the position normalised to the captured display. The capture itself
// never contains the pointer; the output draws this one on top. While the pointer is over a window
// the published frame left out (or one it does not know yet), or its image was read over one, or
// the image is a grab's, the output draws a plain arrow instead: a left-out application's own
// pointer (a magnifier, a drag image) is its content too.
// A source that reports its changes is read when it does (a resting pointer costs nothing); any
// other is polled.
class ProtectedCursorTracker : public std::enable_shared_from_this<ProtectedCursorTracker> {
 public:
  // 60 polls a second: the pointer moves as smoothly as the output can show it.
  static constexpr double kPollInterval = 1.0 / 60.0;

  static std::shared_ptr<ProtectedCursorTracker> make(
      std::shared_ptr<ProtectedOutputSurface> surface,
      std::shared_ptr<platform::CursorSource> source);

  // Starts (or re-targets) tracking over `displayFrame` (desktop points), whose screen has
  // `backingScaleFactor` pixels to the point, on the main actor.
  void start(platform::Rect displayFrame, double backingScaleFactor);
  // Stops following and tells the surface the position is unknown.
  void stop();
  bool isTracking() const { return changes_.active() || (task_.valid() && !task_.isDone()); }

  // One poll, also used by the loop: reads the pointer and its image and updates the surface.
  void poll();

  // The pointer at `position` on `displayFrame`, as 0…1 from the display's top left; absent when
  // the display is empty or the pointer is outside it.
  static std::optional<platform::Point> normalizedPosition(std::optional<platform::Point> position,
                                                           const platform::Rect& displayFrame);

  // Whether `pointer` may not show its own image over `frame`: a window the frame left out is (or
  // was, when the image was read) under it, or the top-level window under it is one the frame does
  // not know, or the image is a grab's, which any client may have set. False when the frame does
  // not say which windows it left out.
  static bool overLeftOutWindow(const platform::CursorImage& pointer,
                                const platform::PixelBuffer* frame);

  ProtectedCursorTracker(std::shared_ptr<ProtectedOutputSurface> surface,
                         std::shared_ptr<platform::CursorSource> source);
  ~ProtectedCursorTracker();

 private:
  static runtime::Task<void> pollLoop(std::weak_ptr<ProtectedCursorTracker> tracker,
                                      std::uint64_t generation);

  std::shared_ptr<ProtectedOutputSurface> surface_;
  std::shared_ptr<platform::CursorSource> source_;
  platform::Rect displayFrame_;
  double backingScaleFactor_ = 1.0;
  std::optional<std::uint64_t> lastImageSerial_;
  bool showsPlainArrow_ = false;
  std::uint64_t generation_ = 0;
  runtime::TaskHandle<void> task_;
  runtime::Subscription changes_;
  runtime::Subscription publications_;
  // The windows of the frame the last drawing decision was made against.
  std::optional<platform::ImageWindows> judgedWindows_;
};

}  // namespace corvane::capture
