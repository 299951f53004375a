#include <gtest/gtest.h>

#include <memory>

#include "capture/protected_cursor_tracker.h"
#include "capture/protected_frame_intake.h"
#include "platform/sim/sim_desktop.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::capture {
namespace {

using Counts = ProtectedCaptureCallbackMonitor::Counts;

// The samples-to-surface path as the engine wires it, with the relay on a stepped queue.
class FramePipelineTest : public ::testing::Test {
 protected:
  FramePipelineTest() {
    ProtectedFrameIntake::Records records;
    records.deliveryState = std::make_shared<ProtectedFrameDeliveryState>();
    records.mailbox = std::make_shared<LatestCapturedFrameMailbox>();
    records.cadenceGate = std::make_shared<ProtectedFrameCadenceGate>();
    records.callbackMonitor = std::make_shared<ProtectedCaptureCallbackMonitor>();
    records.relay = ProtectedFrameRelay::make(surface, records.deliveryState, relayQueue);
    records.relay->setPublishedHandler(
        [this](const ProtectedRelayedFrame& frame) { relayed.push_back(frame); });
    intake = std::make_shared<ProtectedFrameIntake>(records);
    ProtectedFrameIntake::Handlers handlers;
    handlers.deliveryReportDue = [this] { ++reportsDue; };
    intake->setHandlers(handlers);
    configuration.generation = 5;
    configuration.sourceContextGeneration = 2;
    configuration.streamIdentity = 9;
    configuration.isAcceptingFrames = true;
    install();
  }

  void install() {
    intake->records().deliveryState->update(configuration, false);
    intake->records().mailbox->reset(configuration.generation);
  }

  platform::CapturedSample sample(platform::SharedPixelBuffer pixels = nullptr) {
    platform::CapturedSample s;
    s.pixels = pixels ? pixels : std::make_shared<platform::PixelBuffer>(8, 4);
    s.presentationTime = loop.uptime();
    return s;
  }

  Counts counts() const { return intake->records().callbackMonitor->counts(); }

  runtime::VirtualRunLoop loop;
  std::shared_ptr<runtime::VirtualSerialQueue> relayQueue = loop.makeQueue("relay");
  std::shared_ptr<ProtectedOutputSurface> surface = std::make_shared<ProtectedOutputSurface>();
  std::shared_ptr<ProtectedFrameIntake> intake;
  ProtectedFrameDeliveryState::Configuration configuration;
  std::vector<ProtectedRelayedFrame> relayed;
  int reportsDue = 0;
};

TEST_F(FramePipelineTest, TheSurfaceShowsTheVeryBufferTheStreamDelivered) {
  auto pixels = std::make_shared<platform::PixelBuffer>(8, 4);
  intake->handleSample(sample(pixels), 9);
  EXPECT_FALSE(surface->snapshot()) << "publication happens on the relay queue";
  loop.runUntilIdle();
  ASSERT_TRUE(surface->snapshot());
  EXPECT_EQ(surface->snapshot()->image.get(), pixels.get());
  ASSERT_EQ(relayed.size(), 1u);
  EXPECT_EQ(relayed[0].generation, 5u);
  EXPECT_EQ(relayed[0].sourceContextGeneration, 2u);
  EXPECT_EQ(reportsDue, 1);
}

TEST_F(FramePipelineTest, EverySampleCallbackIsAccountedFor) {
  intake->handleSample(sample(), 8);  // another stream
  auto invalid = sample();
  invalid.valid = false;
  intake->handleSample(invalid, 9);
  auto idle = sample();
  idle.status = platform::FrameStatus::idle;
  intake->handleSample(idle, 9);
  auto blank = sample();
  blank.status = platform::FrameStatus::blank;
  intake->handleSample(blank, 9);
  auto empty = sample();
  empty.pixels = nullptr;
  intake->handleSample(empty, 9);
  loop.runUntilIdle();
  EXPECT_EQ(counts(), (Counts{5, 1, 1, 2, 1}));
  EXPECT_FALSE(surface->snapshot()) << "an idle sample has nothing new to show";
  EXPECT_EQ(intake->records().callbackMonitor->lastPixelTime(), loop.uptime())
      << "an idle sample still shows the stream is alive";

  configuration.isAcceptingFrames = false;
  install();
  intake->handleSample(sample(), 9);
  EXPECT_EQ(counts().staleStream, 2);
}

TEST_F(FramePipelineTest, FramesOfAnotherGenerationOrCapturedTooEarlyAreDropped) {
  auto early = sample();
  loop.advance(0.5);
  configuration.minimumTimestamp = loop.uptime();
  install();
  intake->offer(ProtectedCapturedFrame::make(early.pixels, early.presentationTime, 0), 5);
  intake->offer(ProtectedCapturedFrame::make(sample().pixels, loop.uptime(), 0), 4);
  loop.runUntilIdle();
  EXPECT_FALSE(surface->snapshot());
  intake->handleSample(sample(), 9);
  loop.runUntilIdle();
  EXPECT_TRUE(surface->snapshot());
}

// Another consumer (a verification pipeline) takes the admitted frames in place of the relay.
TEST_F(FramePipelineTest, ASinkTakesAdmittedFramesInsteadOfTheRelay) {
  struct Taken {
    platform::SharedPixelBuffer pixels;
    std::uint64_t generation, sourceContextGeneration;
  };
  std::vector<Taken> taken;
  intake->setFrameSink([&](ProtectedCapturedFrame frame, std::uint64_t generation,
                           std::uint64_t sourceContextGeneration) {
    taken.push_back({frame.pixelBuffer, generation, sourceContextGeneration});
  });
  const auto delivered = sample();
  intake->handleSample(delivered, 9);
  intake->handleSample(sample(), 8);  // another stream's sample is dropped before the sink
  loop.runUntilIdle();
  ASSERT_EQ(taken.size(), 1u);
  EXPECT_EQ(taken[0].pixels, delivered.pixels);
  EXPECT_EQ(taken[0].generation, 5u);
  EXPECT_EQ(taken[0].sourceContextGeneration, 2u);
  EXPECT_TRUE(relayed.empty());
  EXPECT_FALSE(surface->snapshot());
}

TEST_F(FramePipelineTest, ThePausedConfigurationCountsFramesButPublishesNone) {
  configuration.isPaused = true;
  install();
  for (int i = 0; i < 5; ++i) {
    intake->handleSample(sample(), 9);
    loop.advance(1.0 / 60.0);
  }
  EXPECT_FALSE(surface->snapshot());
  EXPECT_EQ(intake->records().deliveryState->acceptedFrameCount(), 5);
}

TEST_F(FramePipelineTest, TheRelayChecksAgainWhatChangedWhileAFrameWaited) {
  relayQueue->hold();
  intake->handleSample(sample(), 9);
  loop.runUntilIdle();
  configuration.isPaused = true;
  install();
  relayQueue->release();
  loop.runUntilIdle();
  EXPECT_FALSE(surface->snapshot());
  EXPECT_EQ(intake->records().relay->droppedFrameCount(), 1u);

  configuration.isPaused = false;
  install();
  loop.advance(1.0 / 60.0);
  relayQueue->hold();
  intake->handleSample(sample(), 9);
  loop.runUntilIdle();
  configuration.sourceContextGeneration = 3;  // a desktop switch began and ended meanwhile
  install();
  relayQueue->release();
  loop.runUntilIdle();
  EXPECT_FALSE(surface->snapshot());
  EXPECT_EQ(intake->records().relay->droppedFrameCount(), 2u);
}

TEST(ProtectedCursorTrackerTest, NormalisesThePointerToTheCapturedDisplay) {
  const platform::Rect display{{100, 50}, {200, 100}};
  EXPECT_EQ(ProtectedCursorTracker::normalizedPosition(platform::Point{200, 100}, display),
            (platform::Point{0.5, 0.5}));
  EXPECT_EQ(ProtectedCursorTracker::normalizedPosition(platform::Point{100, 50}, display),
            (platform::Point{0, 0}));
  EXPECT_FALSE(ProtectedCursorTracker::normalizedPosition(platform::Point{99, 60}, display));
  EXPECT_FALSE(ProtectedCursorTracker::normalizedPosition(platform::Point{300, 60}, display));
  EXPECT_FALSE(ProtectedCursorTracker::normalizedPosition(std::nullopt, display));
  EXPECT_FALSE(ProtectedCursorTracker::normalizedPosition(platform::Point{0, 0}, {}));
}

TEST(ProtectedCursorTrackerTest, FollowsThePointerWhileTrackingAndForgetsItWhenStopped) {
  runtime::VirtualRunLoop loop;
  auto desktop = platform::sim::SimDesktop::make();
  ASSERT_TRUE(desktop->addDisplay(
      platform::sim::SimDesktop::makeDisplay(1, platform::Rect{{0, 0}, {160, 90}}, 2, true)));
  auto arrow = std::make_shared<platform::PixelBuffer>(16, 24);
  desktop->setCursorImage(arrow, platform::Point{4, 6});
  desktop->moveCursor({40, 45});
  auto surface = std::make_shared<ProtectedOutputSurface>();
  auto tracker = ProtectedCursorTracker::make(surface, desktop);

  tracker->start(platform::Rect{{0, 0}, {160, 90}}, 2.0);
  auto cursor = surface->cursorState();
  EXPECT_EQ(cursor.image.get(), arrow.get());
  EXPECT_EQ(cursor.pointSize, (platform::Size{8, 12}));
  EXPECT_EQ(cursor.normalizedHotSpot, (platform::Point{0.25, 0.25}));
  EXPECT_EQ(cursor.normalizedPosition, (platform::Point{0.25, 0.5}));
  EXPECT_EQ(cursor.sourceDisplaySize, (platform::Size{160, 90}));

  desktop->moveCursor({80, 9});
  loop.advance(0.02);
  EXPECT_EQ(surface->cursorState().normalizedPosition, (platform::Point{0.5, 0.1}));
  desktop->moveCursor({500, 9});
  loop.advance(0.02);
  EXPECT_FALSE(surface->cursorState().normalizedPosition) << "off the captured display";

  tracker->stop();
  desktop->moveCursor({80, 45});
  loop.advance(0.1);
  EXPECT_FALSE(surface->cursorState().normalizedPosition);
  EXPECT_FALSE(tracker->isTracking());
}

// A pointer that reports its own moves, as the X11 source does: the tracker reads it when told
// and otherwise not at all, so a resting pointer wakes nothing; one that cannot report is polled.
class ReportingCursor final : public platform::CursorSource {
 public:
  explicit ReportingCursor(bool reports) : reports_(reports) {}
  std::optional<platform::Point> cursorPosition() const override {
    ++reads;
    return position;
  }
  platform::CursorImage currentCursorImage() const override { return {}; }
  runtime::Subscription observeCursorChanges(std::function<void()> changed) override {
    if (!reports_) return {};
    changed_ = std::move(changed);
    return runtime::Subscription([this] { changed_ = nullptr; });
  }
  void move(platform::Point to) {
    position = to;
    if (changed_) changed_();
  }

  platform::Point position{10, 10};
  mutable int reads = 0;

 private:
  bool reports_;
  std::function<void()> changed_;
};

TEST(ProtectedCursorTrackerTest, ASourceThatReportsMovesIsReadOnlyWhenItDoes) {
  for (const bool reports : {true, false}) {
    SCOPED_TRACE(reports ? "reporting source" : "polled source");
    runtime::VirtualRunLoop loop;
    auto cursor = std::make_shared<ReportingCursor>(reports);
    auto surface = std::make_shared<ProtectedOutputSurface>();
    auto tracker = ProtectedCursorTracker::make(surface, cursor);
    tracker->start(platform::Rect{{0, 0}, {100, 100}}, 1.0);
    EXPECT_TRUE(tracker->isTracking());
    loop.advance(10.0);  // the pointer rests
    if (reports) {
      EXPECT_EQ(cursor->reads, 1) << "read at the start only";
    } else {
      EXPECT_GE(cursor->reads, 500) << "polled about 60 times a second";
    }
    cursor->move({50, 20});
    loop.runUntilIdle();
    if (!reports) loop.advance(ProtectedCursorTracker::kPollInterval);
    EXPECT_EQ(surface->cursorState().normalizedPosition, (platform::Point{0.5, 0.2}));

    tracker->stop();
    EXPECT_FALSE(tracker->isTracking());
    cursor->move({70, 70});
    loop.advance(1.0);
    EXPECT_FALSE(surface->cursorState().normalizedPosition) << "nothing followed once stopped";
  }
}

}  // namespace
}  // namespace corvane::capture
