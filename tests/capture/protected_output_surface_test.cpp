#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "capture/protected_output_surface.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::capture {
namespace {

platform::SharedPixelBuffer image(int width, int height, std::uint32_t argb = 0xff102030) {
  auto buffer = std::make_shared<platform::PixelBuffer>(width, height);
  buffer->fill(argb);
  return buffer;
}

struct RedrawLog {
  std::vector<ProtectedRedrawRequest> requests;
  runtime::Subscription subscription;
  explicit RedrawLog(ProtectedOutputSurface& surface)
      : subscription(surface.setRedrawHandler(
            [this](ProtectedRedrawRequest request) { requests.push_back(request); })) {}
};

TEST(ProtectedOutputSurfaceTest, UpdatePublishesTheSameBufferWithANewRevision) {
  runtime::VirtualRunLoop loop;
  ProtectedOutputSurface surface;
  EXPECT_FALSE(surface.snapshot());
  EXPECT_FALSE(surface.sequence());

  auto first = image(16, 9);
  ASSERT_TRUE(surface.update(first, 100));
  auto snapshot = surface.snapshot();
  ASSERT_TRUE(snapshot);
  EXPECT_EQ(snapshot->image.get(), first.get());
  EXPECT_EQ(snapshot->sequence, 100u);
  EXPECT_EQ(snapshot->revision, 1u);
  EXPECT_EQ(snapshot->pixelSize, (platform::Size{16, 9}));

  ASSERT_TRUE(surface.update(image(32, 18), 200));
  EXPECT_EQ(surface.snapshot()->revision, 2u);
  EXPECT_EQ(surface.snapshot()->pixelSize, (platform::Size{32, 18}));
}

TEST(ProtectedOutputSurfaceTest, RefusesOlderOrEqualSequencesAndNullImages) {
  runtime::VirtualRunLoop loop;
  ProtectedOutputSurface surface;
  auto kept = image(4, 4);
  ASSERT_TRUE(surface.update(kept, 500));
  EXPECT_FALSE(surface.update(image(4, 4), 500));
  EXPECT_FALSE(surface.update(image(4, 4), 499));
  EXPECT_FALSE(surface.update(nullptr, 900));
  EXPECT_EQ(surface.snapshot()->image.get(), kept.get());
  EXPECT_EQ(surface.revision(), 1u);

  surface.clear();
  EXPECT_TRUE(surface.update(image(4, 4), 10)) << "a cleared surface starts a new sequence";
}

TEST(ProtectedOutputSurfaceTest, RefusesFramesOfRetiredGenerationsAcrossAClear) {
  runtime::VirtualRunLoop loop;
  ProtectedOutputSurface surface;
  ASSERT_TRUE(surface.update(image(4, 4), 1, 3));
  surface.refuseGenerationsBelow(4);
  surface.clear();
  EXPECT_FALSE(surface.update(image(4, 4), 2, 3)) << "a late frame of the stopped capture";
  EXPECT_FALSE(surface.update(image(4, 4), 3)) << "a frame without a generation";
  EXPECT_FALSE(surface.snapshot());
  surface.refuseGenerationsBelow(2);
  EXPECT_FALSE(surface.update(image(4, 4), 4, 3)) << "the minimum never goes down";
  EXPECT_TRUE(surface.update(image(4, 4), 5, 4));
  EXPECT_TRUE(surface.update(image(4, 4), 6, 7));
}

TEST(ProtectedOutputSurfaceTest, ReplaceAlsoAcceptsThePublishedSequenceButNeverAnOlderOne) {
  runtime::VirtualRunLoop loop;
  ProtectedOutputSurface surface;
  std::vector<std::uint64_t> observed;
  auto observing = surface.observeUpdates([&](const ProtectedOutputSurface::Snapshot& snapshot) {
    observed.push_back(snapshot.revision);
  });
  ASSERT_TRUE(surface.update(image(4, 4), 500));
  surface.advanceSequenceWithoutPixelChange(700);
  auto verified = image(4, 4);
  EXPECT_FALSE(surface.update(verified, 700)) << "update keeps its strict rule";
  EXPECT_TRUE(surface.replace(verified, 700));
  EXPECT_EQ(surface.snapshot()->image.get(), verified.get());
  EXPECT_EQ(surface.snapshot()->sequence, 700u);
  EXPECT_FALSE(surface.replace(image(4, 4), 699));
  EXPECT_FALSE(surface.replace(nullptr, 900));
  surface.refuseGenerationsBelow(2);
  EXPECT_FALSE(surface.replace(image(4, 4), 800, 1)) << "a retired generation";
  EXPECT_EQ(observed, (std::vector<std::uint64_t>{1, 2}));
  EXPECT_TRUE(surface.isRedrawPending());
}

TEST(ProtectedOutputSurfaceTest, RedrawRequestsAreCoalescedOnTheMainActor) {
  runtime::VirtualRunLoop loop;
  ProtectedOutputSurface surface;
  RedrawLog log(surface);
  ASSERT_TRUE(surface.update(image(4, 4), 1));
  ASSERT_TRUE(surface.update(image(4, 4), 2));
  surface.updateCursor(platform::Point{0.5, 0.5}, platform::Size{100, 100});
  EXPECT_TRUE(surface.isRedrawPending());
  EXPECT_TRUE(log.requests.empty()) << "redraws run on the main actor's next turn";
  loop.runUntilIdle();
  ASSERT_EQ(log.requests.size(), 1u);
  EXPECT_FALSE(log.requests[0].forced);
  EXPECT_FALSE(surface.isRedrawPending());

  ASSERT_TRUE(surface.update(image(4, 4), 3));
  loop.runUntilIdle();
  EXPECT_EQ(log.requests.size(), 2u);
}

TEST(ProtectedOutputSurfaceTest, AdvanceSequenceKeepsPixelsRevisionAndRequestsNoRedraw) {
  runtime::VirtualRunLoop loop;
  ProtectedOutputSurface surface;
  surface.advanceSequenceWithoutPixelChange(50);
  EXPECT_FALSE(surface.snapshot()) << "nothing to advance without a snapshot";

  auto shown = image(8, 8);
  ASSERT_TRUE(surface.update(shown, 10));
  loop.runUntilIdle();
  RedrawLog log(surface);
  surface.advanceSequenceWithoutPixelChange(70);
  loop.runUntilIdle();
  EXPECT_TRUE(log.requests.empty());
  EXPECT_EQ(surface.sequence(), 70u);
  EXPECT_EQ(surface.snapshot()->image.get(), shown.get());
  EXPECT_EQ(surface.snapshot()->revision, 1u);
  EXPECT_FALSE(surface.update(image(8, 8), 60)) << "sequences keep rising after the advance";
}

TEST(ProtectedOutputSurfaceTest, CursorUpdatesOnlyWhenSomethingChanges) {
  runtime::VirtualRunLoop loop;
  ProtectedOutputSurface surface;
  ASSERT_TRUE(surface.update(image(4, 4), 1));
  loop.runUntilIdle();
  RedrawLog log(surface);

  surface.updateCursor(platform::Point{0.25, 0.75}, platform::Size{1920, 1080});
  const auto revision = surface.cursorState().revision;
  loop.runUntilIdle();
  EXPECT_EQ(log.requests.size(), 1u);

  surface.updateCursor(platform::Point{0.25, 0.75});
  surface.updateCursor(platform::Point{0.25, 0.75}, platform::Size{1920, 1080});
  loop.runUntilIdle();
  EXPECT_EQ(surface.cursorState().revision, revision);
  EXPECT_EQ(log.requests.size(), 1u);

  surface.updateCursor(std::nullopt);
  EXPECT_FALSE(surface.cursorState().normalizedPosition);
  EXPECT_EQ(surface.cursorState().sourceDisplaySize, (platform::Size{1920, 1080}))
      << "an absent size keeps the previous one";
  EXPECT_EQ(surface.snapshot()->cursor.revision, revision + 1);
}

TEST(ProtectedOutputSurfaceTest, CursorImageTravelsWithTheSnapshot) {
  runtime::VirtualRunLoop loop;
  ProtectedOutputSurface surface;
  auto arrow = image(12, 19, 0xff000000);
  surface.configureCursorImage(arrow, platform::Size{12, 19}, platform::Point{0.1, 0.05});
  surface.updateCursor(platform::Point{0.5, 0.5}, platform::Size{160, 90});
  ASSERT_TRUE(surface.update(image(4, 4), 1));
  const auto cursor = surface.snapshot()->cursor;
  EXPECT_EQ(cursor.image.get(), arrow.get());
  EXPECT_EQ(cursor.normalizedHotSpot, (platform::Point{0.1, 0.05}));
  EXPECT_TRUE(cursor.isDrawable());
}

TEST(ProtectedOutputSurfaceTest, PresentationProbeNeedsASnapshotAndForcesARedraw) {
  runtime::VirtualRunLoop loop;
  ProtectedOutputSurface surface;
  RedrawLog log(surface);
  EXPECT_FALSE(surface.requestPresentationProbe());
  loop.runUntilIdle();
  EXPECT_TRUE(log.requests.empty());

  ASSERT_TRUE(surface.update(image(4, 4), 1));
  loop.runUntilIdle();
  surface.reportPresentationCompleted(1);
  EXPECT_FALSE(surface.presentationStats().pendingPresentationSince);

  loop.advance(3);
  const auto probe = surface.requestPresentationProbe();
  ASSERT_TRUE(probe);
  EXPECT_EQ(surface.presentationStats().pendingPresentationSince, probe);
  EXPECT_EQ(surface.latestPresentationRequestAt(), probe);
  loop.runUntilIdle();
  ASSERT_EQ(log.requests.size(), 2u);
  EXPECT_TRUE(log.requests[1].forced);

  loop.advance(0.5);
  surface.reportPresentationCompleted(1);
  const auto stats = surface.presentationStats();
  EXPECT_EQ(stats.completedFrames, 2);
  ASSERT_TRUE(stats.lastPresentedAt);
  EXPECT_GT(*stats.lastPresentedAt, *probe);
  EXPECT_FALSE(stats.pendingPresentationSince);
}

TEST(ProtectedOutputSurfaceTest, PresentationBookkeepingFollowsRevisions) {
  runtime::VirtualRunLoop loop;
  ProtectedOutputSurface surface;
  ASSERT_TRUE(surface.update(image(4, 4), 1));
  const auto firstPending = surface.presentationStats().pendingPresentationSince;
  ASSERT_TRUE(firstPending);
  loop.advance(1);
  ASSERT_TRUE(surface.update(image(4, 4), 2));
  EXPECT_EQ(surface.presentationStats().pendingPresentationSince, firstPending)
      << "the oldest unpresented update sets the pending date";

  surface.reportPresentationCompleted(1);
  EXPECT_TRUE(surface.presentationStats().pendingPresentationSince)
      << "revision 2 is still waiting";
  surface.reportPresentationFailed(2);
  EXPECT_EQ(surface.presentationStats().failedFrames, 1);
  EXPECT_TRUE(surface.presentationStats().pendingPresentationSince);
  surface.reportPresentationCompleted(2);
  EXPECT_FALSE(surface.presentationStats().pendingPresentationSince);

  surface.clear();
  const auto cleared = surface.presentationStats();
  EXPECT_EQ(cleared.completedFrames, 0);
  EXPECT_EQ(cleared.failedFrames, 0);
  EXPECT_FALSE(cleared.lastPresentedAt);
  EXPECT_FALSE(surface.snapshot());
}

TEST(ProtectedOutputSurfaceTest, EndedRedrawSubscriptionStopsDeliveries) {
  runtime::VirtualRunLoop loop;
  ProtectedOutputSurface surface;
  int calls = 0;
  {
    auto subscription = surface.setRedrawHandler([&calls](ProtectedRedrawRequest) { ++calls; });
    ASSERT_TRUE(surface.update(image(2, 2), 1));
    loop.runUntilIdle();
  }
  ASSERT_TRUE(surface.update(image(2, 2), 2));
  loop.runUntilIdle();
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace corvane::capture
