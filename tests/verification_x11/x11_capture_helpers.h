#pragma once

// Synchronous looks at a real X11 desktop for the sensitive-text engine's tests: one capture of
// a display, and the application the desktop names a window after. The desktop completes both on
// threads of its own, so they may be waited for on the main actor.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "platform/desktop.h"
#include "support/x11/xvfb_server.h"

namespace corvane::testing {

// A value a completion hands over from another thread; it outlives a wait that gave up.
template <class T>
class Handover {
 public:
  void give(T value) {
    std::lock_guard lock(state_->mutex);
    state_->value = std::move(value);
    state_->done.notify_all();
  }
  std::optional<T> take(double seconds = kPatientWaitSeconds) {
    std::unique_lock lock(state_->mutex);
    state_->done.wait_for(lock, std::chrono::duration<double>(seconds),
                          [&] { return state_->value.has_value(); });
    return std::move(state_->value);
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<T> value;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// One capture of the whole display (every window kept but those of the filter), or null.
inline platform::SharedPixelBuffer captureOnce(const platform::Desktop& desktop,
                                               std::uint32_t displayID,
                                               std::set<std::uint32_t> exceptingWindowIDs = {}) {
  platform::ContentFilter filter;
  filter.displayID = displayID;
  filter.exceptingWindowIDs = std::move(exceptingWindowIDs);
  Handover<platform::SharedPixelBuffer> frame;
  desktop.capture->captureImage(filter, {},
                                [frame](runtime::Result<platform::SharedPixelBuffer> r) mutable {
                                  frame.give(r.ok() ? r.value() : nullptr);
                                });
  return frame.take().value_or(nullptr);
}

// The application that owns `windowID` in the desktop's shareable content, once it is listed.
inline std::optional<platform::ShareableApplication> owningApplication(
    const platform::Desktop& desktop, std::uint32_t windowID) {
  std::optional<platform::ShareableApplication> owner;
  waitUntil([&] {
    Handover<runtime::Result<platform::ShareableContent>> content;
    desktop.capture->shareableContent(
        [content](runtime::Result<platform::ShareableContent> r) mutable {
          content.give(std::move(r));
        });
    const auto listed = content.take(5);
    if (!listed || !listed->ok()) return false;
    for (const auto& window : listed->value().windows) {
      if (window.windowID == windowID && window.isOnScreen) owner = window.owningApplication;
    }
    return owner.has_value();
  });
  return owner;
}

}  // namespace corvane::testing
