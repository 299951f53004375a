#include "capture/protected_cursor_tracker.h"

#include <algorithm>
#include <utility>

#include "capture/arrow_cursor_image.h"
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
  // Whether the plain arrow is drawn depends on which windows the published frame left out, so a
  // frame that leaves out another set is judged again even while the pointer rests.
  publications_ = surface_->observeUpdates([weak = weak_from_this(), generation](
                                               const ProtectedOutputSurface::Snapshot& published) {
    if (!published.image || !published.image->windows()) return;
    runtime::postToMain(
        weak, [generation, windows = *published.image->windows()](ProtectedCursorTracker& tracker) {
          if (tracker.generation_ != generation || tracker.judgedWindows_ == windows) return;
          tracker.poll();
        });
  });
}

void ProtectedCursorTracker::stop() {
  ++generation_;
  task_.cancel();
  task_ = {};
  changes_.cancel();
  publications_.cancel();
  surface_->updateCursor(std::nullopt);
}

std::optional<platform::Point> ProtectedCursorTracker::normalizedPosition(
    std::optional<platform::Point> position, const platform::Rect& displayFrame) {
  if (!position || displayFrame.isEmpty() || !displayFrame.contains(*position)) return std::nullopt;
  const double x = (position->x - displayFrame.minX()) / displayFrame.width();
  const double y = (position->y - displayFrame.minY()) / displayFrame.height();
  return platform::Point{std::clamp(x, 0.0, 1.0), std::clamp(y, 0.0, 1.0)};
}

bool ProtectedCursorTracker::overLeftOutWindow(const platform::CursorImage& pointer,
                                               const platform::PixelBuffer* frame) {
  if (frame == nullptr || !frame->windows()) return false;
  if (!pointer.isAWindowsOwn) return true;
  const auto& windows = *frame->windows();
  auto listed = [](const std::vector<std::uint32_t>& sorted, std::uint32_t id) {
    return std::binary_search(sorted.begin(), sorted.end(), id);
  };
  for (const auto& path : pointer.windowsUnderPointer) {
    if (!path.empty() && !listed(windows.shown, path.front())) return true;
    for (std::uint32_t id : path) {
      if (listed(windows.leftOut, id)) return true;
    }
  }
  return false;
}

void ProtectedCursorTracker::poll() {
  if (!source_) return;
  auto image = source_->currentCursorImage();
  const auto published = surface_->snapshot();
  const auto* frame = published ? published->image.get() : nullptr;
  const bool plainArrow = overLeftOutWindow(image, frame);
  if (frame != nullptr && frame->windows()) judgedWindows_ = *frame->windows();
  if (lastImageSerial_ != image.serial || plainArrow != showsPlainArrow_) {
    lastImageSerial_ = image.serial;
    showsPlainArrow_ = plainArrow;
    if (plainArrow) {
      image.image = arrowCursorImage();
      image.hotSpot = platform::Point{0, 0};
    }
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
