#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/screen_capture.h"
#include "platform/x11/sampling_while_read.h"
#include "platform/x11/x_event_pump.h"

namespace corvane::platform::x11 {

// The pointer's image (XFixes), hot spot and position, for the engine's own cursor. A thread of
// its own samples them on its own connection; the calls, from any thread, only read the last
// sample, so a server that stops answering never holds up the caller. It samples only while it
// is read or observed: once nobody has asked for kRestAfter seconds it rests (no request to the
// server at all) until the next call wakes it, which reads the last sample and the one after a
// moment. While it samples, the server tells it when the pointer moves (XInput 2 raw motion) and
// when the image changes (XFixes), and it reads the position only then, at most every
// kSampleInterval, and otherwise every `pollInterval` (a pointer warped by a client makes no
// motion event). Without XInput 2 it reads the position every kSampleInterval. With the image
// come the windows under the pointer (where it is now and where it was when the image was read)
// and whether the image is a window's own pointer or a grab's (XTEST compares the pointer shown
// with those the windows define).
class X11CursorSource final : public CursorSource {
 public:
  static constexpr double kSampleInterval = 1.0 / 60.0;
  static constexpr double kPollInterval = 0.5;
  static constexpr double kRestAfter = 1.0;

  static runtime::Result<std::shared_ptr<X11CursorSource>> open(
      const std::string& displayName = {}, double pollInterval = kPollInterval);
  ~X11CursorSource() override;

  std::optional<Point> cursorPosition() const override;
  CursorImage currentCursorImage() const override;
  // While observed it never rests: each sample that finds the pointer moved or its image changed
  // is reported, from the sampling thread.
  runtime::Subscription observeCursorChanges(std::function<void()> changed) override;
  // Whether pointer motion can wake the sampler (the server has XInput 2).
  bool followsMotionEvents() const { return followsMotionEvents_; }
  // Whether the next move of the pointer wakes the sampler now: not while it rests, nor while
  // the pointer keeps moving (it reads each frame then).
  bool waitsForMotion() const { return waitsForMotion_.load(); }

 private:
  X11CursorSource() = default;
  struct Sampler;
  // A call read the samples: a resting sampler wakes.
  void noteRead() const;
  bool observed() const;
  // Tells the observer, if any, that a sample found something new.
  void reportChange() const;

  // The one observer (a new one replaces the last); `generation` tells its subscription apart.
  struct Observer {
    std::mutex mutex;
    std::function<void()> changed;
    std::uint64_t generation = 0;
  };

  mutable std::mutex mutex_;
  std::shared_ptr<Observer> observer_ = std::make_shared<Observer>();
  std::optional<Point> position_;
  CursorImage image_;
  bool followsMotionEvents_ = false;
  std::atomic<bool> waitsForMotion_{false};
  mutable SamplingWhileRead sampling_{kRestAfter};
  mutable XEventPump pump_;
};

}  // namespace corvane::platform::x11
