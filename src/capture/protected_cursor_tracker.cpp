#include "capture/protected_cursor_tracker.h"

#include <algorithm>
#include <utility>

#include "runtime/main_actor.h"

namespace corvane::capture {

std::shared_ptr<ProtectedCursorTracker> ProtectedCursorTracker::make(
    std::shared_ptr<ProtectedOutputSurface> surface,
    std::shared_ptr<platform::CursorSource> source) {
  return std::make_shared<ProtectedCursorTracker>(std::move(surface), std::move(source));
}

ProtectedCursorTracker::ProtectedCursorTracker(std::shared_ptr<ProtectedOutputSurface> surface,
                                               std::shared_ptr<platform::CursorSource> source)
    : surface_(std::move(surface)), source_(std::move(source)) {}

ProtectedCursorTracker::~ProtectedCursorTracker() {
  task_.cancel();
}

void ProtectedCursorTracker::start(platform::Rect displayFrame, double backingScaleFactor) {
  displayFrame_ = displayFrame;
  backingScaleFactor_ = backingScaleFactor > 0 ? backingScaleFactor : 1.0;
  lastImageSerial_.reset();
  task_.cancel();
  changes_.cancel();
  const auto generation = ++generation_;
  poll();
  if (source_) {
    changes_ = source_->observeCursorChanges([weak = weak_from_this(), generation] {
      runtime::postToMain(weak, [generation](ProtectedCursorTracker& tracker) {
        if (tracker.generation_ == generation) tracker.poll();
      });
    });
  }
  if (!changes_.active()) task_ = runtime::spawn(pollLoop(weak_from_this(), generation));
}

void ProtectedCursorTracker::stop() {
  ++generation_;
  task_.cancel();
  task_ = {};
  changes_.cancel();
  surface_->updateCursor(std::nullopt);
}

std::optional<platform::Point> ProtectedCursorTracker::normalizedPosition(
    std::optional<platform::Point> position, const platform::Rect& displayFrame) {
  if (!position || displayFrame.isEmpty() || !displayFrame.contains(*position)) return std::nullopt;
  const double x = (position->x - displayFrame.minX()) / displayFrame.width();
  const double y = (position->y - displayFrame.minY()) / displayFrame.height();
  return platform::Point{std::clamp(x, 0.0, 1.0), std::clamp(y, 0.0, 1.0)};
}

void ProtectedCursorTracker::poll() {
  if (!source_) return;
  const auto image = source_->currentCursorImage();
  if (lastImageSerial_ != image.serial) {
    lastImageSerial_ = image.serial;
    platform::Size pointSize;
    platform::Point hotSpot;
    if (image.image && image.image->width() > 0 && image.image->height() > 0) {
      pointSize = {image.image->width() / backingScaleFactor_,
                   image.image->height() / backingScaleFactor_};
      hotSpot = {image.hotSpot.x / image.image->width(), image.hotSpot.y / image.image->height()};
    }
    surface_->configureCursorImage(image.image, pointSize, hotSpot);
  }
  surface_->updateCursor(normalizedPosition(source_->cursorPosition(), displayFrame_),
                         displayFrame_.size);
}

runtime::Task<void> ProtectedCursorTracker::pollLoop(std::weak_ptr<ProtectedCursorTracker> tracker,
                                                     std::uint64_t generation) {
  while (true) {
    co_await runtime::sleep(kPollInterval);
    if (co_await runtime::isCancelled()) co_return;
    auto self = tracker.lock();
    if (!self || self->generation_ != generation) co_return;
    self->poll();
  }
}

}  // namespace corvane::capture
