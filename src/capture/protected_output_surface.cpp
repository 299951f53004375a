#include "capture/protected_output_surface.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "runtime/main_actor.h"
#include "runtime/runtime.h"

namespace corvane::capture {

struct ProtectedOutputSurface::State {
  mutable std::mutex mutex;
  std::optional<Snapshot> snapshot;
  std::uint64_t revision = 0;
  std::uint64_t minimumGeneration = 0;
  ProtectedCursorState cursor;
  PresentationStats stats;
  std::optional<runtime::WallTime> latestRequestAt;
  bool redrawPending = false;
  bool forcedRedraw = false;
  std::uint64_t handlerToken = 0;
  RedrawHandler redrawHandler;
  std::uint64_t nextObserverToken = 0;
  std::vector<std::pair<std::uint64_t, std::shared_ptr<UpdateObserver>>> updateObservers;
};

ProtectedOutputSurface::ProtectedOutputSurface() : state_(std::make_shared<State>()) {}

ProtectedOutputSurface::~ProtectedOutputSurface() = default;

bool ProtectedOutputSurface::update(platform::SharedPixelBuffer image, std::uint64_t sequence,
                                    std::uint64_t generation) {
  return publish(std::move(image), sequence, generation, false);
}

bool ProtectedOutputSurface::replace(platform::SharedPixelBuffer image, std::uint64_t sequence,
                                     std::uint64_t generation) {
  return publish(std::move(image), sequence, generation, true);
}

bool ProtectedOutputSurface::publish(platform::SharedPixelBuffer image, std::uint64_t sequence,
                                     std::uint64_t generation, bool allowSameSequence) {
  if (!image) return false;
  const auto stamp = runtime::now();
  Snapshot published;
  std::vector<std::shared_ptr<UpdateObserver>> observers;
  {
    std::lock_guard lock(state_->mutex);
    if (generation < state_->minimumGeneration) return false;
    if (state_->snapshot) {
      const auto shown = state_->snapshot->sequence;
      if (sequence < shown || (sequence == shown && !allowSameSequence)) return false;
    }
    Snapshot next;
    next.pixelSize =
        platform::Size{static_cast<double>(image->width()), static_cast<double>(image->height())};
    next.image = std::move(image);
    next.sequence = sequence;
    next.revision = ++state_->revision;
    next.cursor = state_->cursor;
    state_->snapshot = std::move(next);
    if (!state_->stats.pendingPresentationSince) {
      state_->stats.pendingPresentationSince = stamp;
      state_->stats.pendingPresentationSinceUptime = runtime::uptime();
    }
    state_->latestRequestAt = stamp;
    for (const auto& entry : state_->updateObservers) observers.push_back(entry.second);
    if (!observers.empty()) published = *state_->snapshot;
  }
  for (const auto& observer : observers) (*observer)(published);
  requestRedraw(false);
  return true;
}

void ProtectedOutputSurface::refuseGenerationsBelow(std::uint64_t generation) {
  std::lock_guard lock(state_->mutex);
  state_->minimumGeneration = std::max(state_->minimumGeneration, generation);
}

void ProtectedOutputSurface::advanceSequenceWithoutPixelChange(std::uint64_t sequence) {
  std::lock_guard lock(state_->mutex);
  if (state_->snapshot) state_->snapshot->sequence = sequence;
}

void ProtectedOutputSurface::clear() {
  {
    std::lock_guard lock(state_->mutex);
    state_->snapshot.reset();
    state_->stats = PresentationStats{};
    state_->latestRequestAt.reset();
  }
  requestRedraw(false);
}

void ProtectedOutputSurface::configureCursorImage(platform::SharedPixelBuffer image,
                                                  platform::Size pointSize,
                                                  platform::Point normalizedHotSpot) {
  bool hasSnapshot = false;
  {
    std::lock_guard lock(state_->mutex);
    auto& cursor = state_->cursor;
    if (cursor.image == image && cursor.pointSize == pointSize &&
        cursor.normalizedHotSpot == normalizedHotSpot)
      return;
    cursor.image = std::move(image);
    cursor.pointSize = pointSize;
    cursor.normalizedHotSpot = normalizedHotSpot;
    ++cursor.revision;
    if (state_->snapshot) state_->snapshot->cursor = cursor;
    hasSnapshot = state_->snapshot.has_value();
  }
  if (hasSnapshot) requestRedraw(false);
}

void ProtectedOutputSurface::updateCursor(std::optional<platform::Point> normalizedPosition,
                                          std::optional<platform::Size> sourceDisplaySize) {
  {
    std::lock_guard lock(state_->mutex);
    auto& cursor = state_->cursor;
    const bool positionChanged = cursor.normalizedPosition != normalizedPosition;
    const bool sizeChanged = sourceDisplaySize && cursor.sourceDisplaySize != sourceDisplaySize;
    if (!positionChanged && !sizeChanged) return;
    cursor.normalizedPosition = normalizedPosition;
    if (sizeChanged) cursor.sourceDisplaySize = sourceDisplaySize;
    ++cursor.revision;
    if (state_->snapshot) state_->snapshot->cursor = cursor;
  }
  requestRedraw(false);
}

std::optional<runtime::WallTime> ProtectedOutputSurface::requestPresentationProbe() {
  const auto stamp = runtime::now();
  {
    std::lock_guard lock(state_->mutex);
    if (!state_->snapshot) return std::nullopt;
    state_->stats.pendingPresentationSince = stamp;
    state_->stats.pendingPresentationSinceUptime = runtime::uptime();
    state_->latestRequestAt = stamp;
  }
  requestRedraw(true);
  return stamp;
}

std::optional<ProtectedOutputSurface::Snapshot> ProtectedOutputSurface::snapshot() const {
  std::lock_guard lock(state_->mutex);
  return state_->snapshot;
}

std::optional<std::uint64_t> ProtectedOutputSurface::sequence() const {
  std::lock_guard lock(state_->mutex);
  if (!state_->snapshot) return std::nullopt;
  return state_->snapshot->sequence;
}

std::uint64_t ProtectedOutputSurface::revision() const {
  std::lock_guard lock(state_->mutex);
  return state_->revision;
}

ProtectedCursorState ProtectedOutputSurface::cursorState() const {
  std::lock_guard lock(state_->mutex);
  return state_->cursor;
}

ProtectedOutputSurface::PresentationStats ProtectedOutputSurface::presentationStats() const {
  std::lock_guard lock(state_->mutex);
  return state_->stats;
}

std::optional<runtime::WallTime> ProtectedOutputSurface::latestPresentationRequestAt() const {
  std::lock_guard lock(state_->mutex);
  return state_->latestRequestAt;
}

bool ProtectedOutputSurface::isRedrawPending() const {
  std::lock_guard lock(state_->mutex);
  return state_->redrawPending;
}

bool ProtectedOutputSurface::hasRedrawHandler() const {
  std::lock_guard lock(state_->mutex);
  return static_cast<bool>(state_->redrawHandler);
}

runtime::Subscription ProtectedOutputSurface::setRedrawHandler(RedrawHandler handler) {
  std::uint64_t token = 0;
  {
    std::lock_guard lock(state_->mutex);
    token = ++state_->handlerToken;
    state_->redrawHandler = std::move(handler);
  }
  std::weak_ptr<State> weakState = state_;
  return runtime::Subscription([weakState, token] {
    auto state = weakState.lock();
    if (!state) return;
    std::lock_guard lock(state->mutex);
    if (state->handlerToken == token) state->redrawHandler = nullptr;
  });
}

runtime::Subscription ProtectedOutputSurface::observeUpdates(UpdateObserver observer) {
  std::uint64_t token = 0;
  {
    std::lock_guard lock(state_->mutex);
    token = ++state_->nextObserverToken;
    state_->updateObservers.emplace_back(token,
                                         std::make_shared<UpdateObserver>(std::move(observer)));
  }
  std::weak_ptr<State> weakState = state_;
  return runtime::Subscription([weakState, token] {
    auto state = weakState.lock();
    if (!state) return;
    std::lock_guard lock(state->mutex);
    std::erase_if(state->updateObservers,
                  [token](const auto& entry) { return entry.first == token; });
  });
}

void ProtectedOutputSurface::reportPresentationCompleted(std::uint64_t revision) {
  const auto stamp = runtime::now();
  std::lock_guard lock(state_->mutex);
  ++state_->stats.completedFrames;
  state_->stats.lastPresentedAt = stamp;
  state_->stats.lastPresentedUptime = runtime::uptime();
  if (revision >= state_->revision) {
    state_->stats.pendingPresentationSince.reset();
    state_->stats.pendingPresentationSinceUptime.reset();
  }
}

void ProtectedOutputSurface::reportPresentationFailed(std::uint64_t /*revision*/) {
  std::lock_guard lock(state_->mutex);
  ++state_->stats.failedFrames;
}

void ProtectedOutputSurface::requestRedraw(bool forced) {
  {
    std::lock_guard lock(state_->mutex);
    state_->forcedRedraw = state_->forcedRedraw || forced;
    if (state_->redrawPending) return;
    state_->redrawPending = true;
  }
  runtime::postToMain(std::weak_ptr<State>(state_), [](State& state) {
    RedrawHandler handler;
    ProtectedRedrawRequest request;
    {
      std::lock_guard lock(state.mutex);
      state.redrawPending = false;
      request.forced = std::exchange(state.forcedRedraw, false);
      handler = state.redrawHandler;
    }
    if (handler) handler(request);
  });
}

}  // namespace corvane::capture
