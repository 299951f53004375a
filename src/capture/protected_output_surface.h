#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/geometry.h"
#include "platform/pixel_buffer.h"
#include "runtime/clock.h"
#include "runtime/subscription.h"

namespace corvane::capture {

// The cursor the output draws over the published image: an image of its own (never part of the
// captured pixels), its hot spot and where it is on the source display.
struct ProtectedCursorState {
  platform::SharedPixelBuffer image;  // null: no cursor image configured
  platform::Size pointSize;           // drawn size relative to the source display's points
  platform::Point normalizedHotSpot;  // within the cursor image, 0…1 from the top left
  std::optional<platform::Point> normalizedPosition;  // on the source display, 0…1; absent: unknown
  std::optional<platform::Size> sourceDisplaySize;    // points of the captured display
  std::uint64_t revision = 0;                         // rises with every cursor change

  bool isDrawable() const { return image != nullptr && normalizedPosition.has_value(); }
};

// What a redraw request asks of the canvas.
struct ProtectedRedrawRequest {
  bool forced = false;  // draw even when nothing seems to have changed (a presentation probe)
};

// The latest published output image with its sequence, revision, pixel size and cursor state.
// Written by the relay (image) and the cursor tracker (cursor) from any thread; read by the canvas
// and the engine. Every member function takes the surface's own lock and releases it before it
// calls out, so no other lock is ever taken inside it.
class ProtectedOutputSurface {
 public:
  struct Snapshot {
    platform::SharedPixelBuffer image;  // the very buffer handed to update(): never copied
    std::uint64_t sequence = 0;         // the frame's capture time in microseconds
    std::uint64_t revision = 0;         // rises with every update()
    platform::Size pixelSize;
    ProtectedCursorState cursor;
  };

  struct PresentationStats {
    int completedFrames = 0;
    int failedFrames = 0;
    std::optional<runtime::WallTime> lastPresentedAt;
    std::optional<runtime::WallTime> pendingPresentationSince;
    // The same two moments on the uptime clock, for time-outs that a change of the date must not
    // move.
    std::optional<runtime::Uptime> lastPresentedUptime;
    std::optional<runtime::Uptime> pendingPresentationSinceUptime;
  };

  using RedrawHandler = std::function<void(ProtectedRedrawRequest)>;
  using UpdateObserver = std::function<void(const Snapshot&)>;

  ProtectedOutputSurface();
  ~ProtectedOutputSurface();
  ProtectedOutputSurface(const ProtectedOutputSurface&) = delete;
  ProtectedOutputSurface& operator=(const ProtectedOutputSurface&) = delete;

  // Publishes `image` under `sequence`, captured in capture `generation`: a new revision and
  // snapshot, a pending presentation and one coalesced redraw request on the main actor. Refuses
  // (returns false, changes nothing) a null image, a sequence that is not above the published one,
  // so an older frame can never replace a newer one on screen, and a generation below the minimum,
  // so a frame that was on its way when its capture ended never lands after a stop's clear.
  bool update(platform::SharedPixelBuffer image, std::uint64_t sequence,
              std::uint64_t generation = 0);

  // From now on refuses frames of generations below `generation`; never lowers the minimum.
  void refuseGenerationsBelow(std::uint64_t generation);

  // Publishes like update() but also at the published sequence itself: refuses a null image, a
  // sequence below the published one and a generation below the minimum. For the verification
  // pipeline alone, which shows
  // a newly verified image under the sequence the output already carries (after holding the
  // previous image under a newer frame's sequence, or when the covers change).
  bool replace(platform::SharedPixelBuffer image, std::uint64_t sequence,
               std::uint64_t generation = 0);

  // Re-labels the published snapshot with `sequence` without touching its pixels, revision or
  // cursor; no redraw. Does nothing without a snapshot.
  void advanceSequenceWithoutPixelChange(std::uint64_t sequence);

  // Drops the published snapshot (the output shows nothing until the next update) and resets the
  // presentation bookkeeping. Asks the canvas to redraw so that it stops showing the old image.
  void clear();

  // The image the output draws as the pointer (null for none), its size in source points and its
  // normalised hot spot.
  void configureCursorImage(platform::SharedPixelBuffer image, platform::Size pointSize,
                            platform::Point normalizedHotSpot);

  // Moves the cursor. An absent position means no known position; an absent size keeps the
  // previous source display size. Does nothing when neither changes; otherwise raises the cursor
  // revision and asks for one coalesced redraw. Callable from any thread.
  void updateCursor(std::optional<platform::Point> normalizedPosition,
                    std::optional<platform::Size> sourceDisplaySize = std::nullopt);

  // With a published snapshot: marks a presentation as pending from now, asks for a forced
  // redraw and returns the date; without one returns nothing and changes nothing.
  std::optional<runtime::WallTime> requestPresentationProbe();

  std::optional<Snapshot> snapshot() const;
  std::optional<std::uint64_t> sequence() const;
  std::uint64_t revision() const;
  ProtectedCursorState cursorState() const;
  PresentationStats presentationStats() const;
  std::optional<runtime::WallTime> latestPresentationRequestAt() const;
  bool isRedrawPending() const;
  // Whether a canvas is attached (only then can a presentation complete).
  bool hasRedrawHandler() const;

  // The canvas: the handler runs on the main actor for each coalesced redraw request (at most one
  // is outstanding). Ending the subscription removes it.
  runtime::Subscription setRedrawHandler(RedrawHandler handler);

  // Runs on the writer's thread right after every image update() published, with the new
  // snapshot (recording and inspection of exactly what the output showed). Ending the
  // subscription removes the observer.
  runtime::Subscription observeUpdates(UpdateObserver observer);

  // The canvas reports each presentation of the snapshot with `revision`. A completed one counts,
  // stamps the date and ends the pending presentation when it showed the latest revision; a failed
  // one counts and leaves the presentation pending.
  void reportPresentationCompleted(std::uint64_t revision);
  void reportPresentationFailed(std::uint64_t revision);

 private:
  struct State;
  bool publish(platform::SharedPixelBuffer image, std::uint64_t sequence, std::uint64_t generation,
               bool allowSameSequence);
  void requestRedraw(bool forced);

  std::shared_ptr<State> state_;
};

}  // namespace corvane::capture
