#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "engine_harness.h"
#include "model/protected_system_surface_capture_policy.h"

namespace corvane::capture {
namespace {

using model::ProtectedSharePhase;
using testing::EngineHarness;

class ProtectedShareEngineTest : public ::testing::Test {
 protected:
  ProtectedShareEngineTest() {
    editor = h.desktop->launchApplication({"org.example.Editor", "Editor"}).value();
    editorWindow = h.desktop->addWindow(editor, {platform::Rect{{0, 0}, {160, 90}}}).value();
    vault = h.desktop->launchApplication({"org.example.Vault", "Vault"}).value();
    vaultWindow = h.desktop->addWindow(vault, {platform::Rect{{20, 20}, {50, 40}}}).value();
  }

  bool showsVault(const platform::SharedPixelBuffer& image) const {
    return image && h.desktop->frameContainsPixelsOf(*image, "org.example.Vault");
  }
  bool anyPublishedShows(const std::string& bundleID) const {
    return std::any_of(h.published.begin(), h.published.end(), [&](const auto& p) {
      return h.desktop->frameContainsPixelsOf(*p.image, bundleID);
    });
  }

  // The running stream, asked to deliver up to 240 frames a second, once it does.
  std::vector<std::shared_ptr<platform::sim::SimCaptureStream>> sourceAt240FramesASecond() {
    auto streams = h.desktop->liveStreams();
    if (streams.size() != 1) return streams;
    platform::StreamConfiguration fast = streams[0]->configuration();
    fast.minimumFrameInterval = 1.0 / 240.0;
    streams[0]->updateConfiguration(fast, [](runtime::Status) {});
    h.loop.advance(0.5);
    return streams;
  }

  EngineHarness h;
  std::int32_t editor = 0;
  std::int32_t vault = 0;
  std::uint32_t editorWindow = 0;
  std::uint32_t vaultWindow = 0;
};

TEST_F(ProtectedShareEngineTest, ANewEngineIsIdleWithNothingPublished) {
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::idle);
  EXPECT_EQ(h.engine->statusMessage.value(), "Protected Share is idle");
  EXPECT_FALSE(h.engine->renderedFrame.value());
  EXPECT_EQ(h.engine->metrics.value(), model::ProtectedShareMetrics::empty());
  EXPECT_FALSE(h.engine->outputSurface()->snapshot());
  EXPECT_FALSE(h.engine->records().deliveryState->configuration().isAcceptingFrames);
}

TEST_F(ProtectedShareEngineTest, StartSharesFilteredFramesUnchangedAndGoesLive) {
  const auto& surfaces = model::ProtectedSystemSurfaceCapturePolicy::alwaysExcludedBundleIDs();
  ASSERT_FALSE(surfaces.empty());
  const auto lockScreen = h.desktop->launchApplication({*surfaces.begin(), "Lock"}).value();
  const auto lockWindow =
      h.desktop->addWindow(lockScreen, {platform::Rect{{0, 0}, {40, 40}}}).value();
  h.startSharing({"org.example.Vault"});
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);
  EXPECT_EQ(h.engine->statusMessage.value(), "Protected Share live");
  ASSERT_TRUE(h.engine->renderedFrame.value());
  EXPECT_EQ(h.engine->renderedFrame.value()->pixelSize, (platform::Size{160, 90}));
  h.loop.advance(1.0);
  ASSERT_FALSE(h.published.empty());
  for (const auto& p : h.published) {
    EXPECT_FALSE(showsVault(p.image));
    EXPECT_FALSE(h.desktop->frameContainsPixelsOf(*p.image, testing::kOwnBundleID));
    EXPECT_FALSE(h.desktop->frameContainsPixelsOf(*p.image, testing::kSystemSurfaceID));
    EXPECT_FALSE(h.desktop->frameContainsWindow(*p.image, lockWindow));
    EXPECT_TRUE(h.desktop->frameContainsWindow(*p.image, editorWindow));
  }
  EXPECT_TRUE(h.recorded("protected_share_first_frame_published"));
  const auto filter = h.engine->activeCaptureFilter();
  ASSERT_TRUE(filter);
  EXPECT_TRUE(filter->applicationIdentities.contains({"org.example.Vault", vault}));
}

TEST_F(ProtectedShareEngineTest, PacesAFasterSourceToSixtyFramesASecondWithRisingSequences) {
  h.startSharing({"org.example.Vault"});
  const auto streams = sourceAt240FramesASecond();
  ASSERT_EQ(streams.size(), 1u);
  h.published.clear();
  const int before = streams[0]->samplesSent();
  h.loop.advance(4.0);
  EXPECT_GE(streams[0]->samplesSent() - before, 900) << "the source really runs at 240 fps";
  EXPECT_GE(h.published.size(), 235u);
  EXPECT_LE(h.published.size(), 241u);
  for (std::size_t i = 1; i < h.published.size(); ++i) {
    ASSERT_GT(h.published[i].sequence, h.published[i - 1].sequence);
    ASSERT_GE(h.published[i].publishedAt - h.published[i - 1].publishedAt, 1.0 / 120.0 - 1e-9);
  }
}

void repaint(EngineHarness& h, std::uint32_t window, int phase) {
  (void)h.desktop->setWindowPattern(window, platform::sim::SimWindowPattern{true, 8, phase});
}

// A capture that sends a frame per change: the last change of a burst comes too soon after the
// one before for the output's cadence, yet is shown in the next slot, not held back until the
// source happens to send another frame.
TEST_F(ProtectedShareEngineTest, TheLastChangeOfABurstIsShownInTheNextSlot) {
  h.desktop->captureScript().frameTiming = platform::sim::SimFrameTiming::onChange;
  h.startSharing({"org.example.Vault"});
  const auto streams = sourceAt240FramesASecond();
  ASSERT_EQ(streams.size(), 1u);
  const auto showsTheDesktopNow = [&] {
    const auto now = h.desktop->composeNow(streams[0]->filterInForce(), 160, 90);
    const auto& last = h.published.back().image;
    return now.ok() && last->byteCount() == now.value()->byteCount() &&
           std::equal(last->data(), last->data() + last->byteCount(), now.value()->data());
  };
  for (int phase = 1; phase <= 4; ++phase) {
    repaint(h, editorWindow, phase);
    h.loop.advance(1.0 / 200.0);  // within one output slot of the change before
  }
  const int sent = streams[0]->samplesSent();
  h.loop.advance(0.1);
  EXPECT_EQ(streams[0]->samplesSent(), sent) << "nothing changed since the burst";
  ASSERT_FALSE(h.published.empty());
  EXPECT_TRUE(showsTheDesktopNow()) << "the burst's last change is on the output";
}

std::uint64_t microseconds(runtime::Uptime time) {
  return static_cast<std::uint64_t>(std::llround(time * 1'000'000.0));
}

TEST_F(ProtectedShareEngineTest, PauseHoldsTheExactFrameAndResumeShowsOnlyLaterCaptures) {
  h.desktop->captureScript().deliveryDelay = 0.1;  // frames arrive after their capture time
  h.startSharing({"org.example.Vault"});
  h.loop.advance(0.5);
  h.engine->setPublishingPaused(true);
  EXPECT_TRUE(h.engine->isPublishingPaused.value());
  EXPECT_EQ(h.engine->statusMessage.value(), "Protected Share paused on the current frame");
  const auto held = h.shownImage();
  const auto publishedBefore = h.published.size();
  for (int i = 0; i < 20; ++i) {
    repaint(h, editorWindow, i);
    h.loop.advance(0.1);
  }
  EXPECT_EQ(h.published.size(), publishedBefore);
  EXPECT_EQ(h.shownImage().get(), held.get());
  EXPECT_TRUE(h.engine->isHoldingPreviousVerifiedFrame.value());

  const auto resumedAt = h.loop.uptime();
  h.engine->setPublishingPaused(false);
  EXPECT_EQ(h.engine->statusMessage.value(), "Protected Share live");
  h.loop.advance(1.0);
  ASSERT_GT(h.published.size(), publishedBefore);
  for (std::size_t i = publishedBefore; i < h.published.size(); ++i)
    EXPECT_GE(h.published[i].sequence, microseconds(resumedAt));
  EXPECT_TRUE(h.recorded("protected_share_paused"));
  EXPECT_TRUE(h.recorded("protected_share_resumed"));
}

TEST_F(ProtectedShareEngineTest, HoldsThatEndWhilePausedLeaveThePausedStatus) {
  h.startSharing({"org.example.Vault"});
  h.loop.advance(0.5);
  h.engine->setPublishingPaused(true);
  const auto publishedBefore = h.published.size();

  h.engine->setSourceContextTransitioning(true);
  EXPECT_EQ(h.engine->statusMessage.value(), "Switching desktop; holding the current frame");
  h.loop.advance(0.35);
  h.engine->setSourceContextTransitioning(false);
  EXPECT_EQ(h.engine->statusMessage.value(), "Protected Share paused on the current frame");

  h.engine->updateCaptureConfiguration({"org.example.Vault", "org.example.Editor"}, false, {},
                                       std::nullopt);
  EXPECT_EQ(h.engine->statusMessage.value(), "Updating the protected app filter");
  h.loop.advance(2.0);
  EXPECT_FALSE(h.engine->isCaptureFilterTransitioning.value());
  EXPECT_EQ(h.engine->statusMessage.value(), "Protected Share paused on the current frame");
  EXPECT_TRUE(h.engine->isPublishingPaused.value());
  EXPECT_EQ(h.published.size(), publishedBefore) << "still paused: nothing new is shown";

  h.engine->setPublishingPaused(false);
  EXPECT_EQ(h.engine->statusMessage.value(), "Protected Share live");
}

TEST_F(ProtectedShareEngineTest, PauseBeforeTheFirstFrameOrOutsideASessionDoesNothing) {
  h.engine->setPublishingPaused(true);
  EXPECT_FALSE(h.engine->isPublishingPaused.value());
  h.desktop->captureScript().start.latency = 1.0;
  auto handle = runtime::spawn(h.engine->start({"org.example.Vault"}, false, {}, std::nullopt));
  h.loop.advance(0.2);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::starting);
  h.engine->setPublishingPaused(true);
  EXPECT_FALSE(h.engine->isPublishingPaused.value());
  h.finish(handle);
}

TEST_F(ProtectedShareEngineTest, DesktopSwitchDiscardsWaitingFramesAndAcceptsOnlyLaterOnes) {
  h.desktop->captureScript().deliveryDelay = 0.05;
  h.startSharing({"org.example.Vault"});
  h.loop.advance(0.5);
  const auto context = h.engine->sourceContextGeneration();
  h.engine->setSourceContextTransitioning(true);
  EXPECT_EQ(h.engine->sourceContextGeneration(), context + 1);
  EXPECT_EQ(h.engine->statusMessage.value(), "Switching desktop; holding the current frame");
  const auto held = h.shownImage();
  const auto publishedBefore = h.published.size();
  h.desktop->switchDesktop(1);
  h.loop.advance(0.35);
  EXPECT_EQ(h.published.size(), publishedBefore);
  EXPECT_EQ(h.shownImage().get(), held.get());

  const auto endedAt = h.loop.uptime();
  h.engine->setSourceContextTransitioning(false);
  EXPECT_FALSE(h.engine->isSourceContextTransitioning.value());
  h.loop.advance(0.5);
  ASSERT_GT(h.published.size(), publishedBefore);
  for (std::size_t i = publishedBefore; i < h.published.size(); ++i) {
    EXPECT_GE(h.published[i].sequence, microseconds(endedAt));
    EXPECT_FALSE(h.desktop->frameContainsWindow(*h.published[i].image, editorWindow))
        << "the editor lives on the other desktop";
  }
  EXPECT_TRUE(h.recorded("protected_share_space_transition_started"));
  EXPECT_TRUE(h.recorded("protected_share_space_transition_completed"));
}

TEST_F(ProtectedShareEngineTest, NewlyExcludedAppIsHeldBackIncludingLateFramesOfTheOldStream) {
  h.desktop->captureScript().deliveryDelay = 0.2;
  h.startSharing({"org.example.Vault"});
  h.loop.advance(0.5);
  const auto generation = h.engine->captureGeneration();
  const auto publishedBefore = h.published.size();
  h.engine->updateCaptureConfiguration({"org.example.Vault", "org.example.Editor"}, false, {},
                                       std::nullopt);
  EXPECT_TRUE(h.engine->isCaptureFilterTransitioning.value());
  h.loop.advance(2.0);
  EXPECT_FALSE(h.engine->isCaptureFilterTransitioning.value());
  EXPECT_GT(h.engine->captureGeneration(), generation);
  EXPECT_EQ(h.desktop->captureCounters().streamsMade, 2);
  ASSERT_GT(h.published.size(), publishedBefore);
  for (std::size_t i = publishedBefore; i < h.published.size(); ++i)
    EXPECT_FALSE(h.desktop->frameContainsWindow(*h.published[i].image, editorWindow));
  EXPECT_TRUE(h.recorded("protected_share_stream_replaced_for_filter"));
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);
}

TEST_F(ProtectedShareEngineTest, TheEndOfAFilterTransitionAsksTheStreamForAFrameAtOnce) {
  h.startSharing({"org.example.Vault"});
  h.loop.advance(0.5);
  // First a filter that replaces the stream, then a refresh that keeps the same filter.
  for (const bool replaced : {true, false}) {
    SCOPED_TRACE(replaced ? "the stream replaced" : "the same filter kept");
    const int before = h.desktop->captureCounters().frameRequests;
    if (replaced) {
      h.engine->updateCaptureConfiguration({"org.example.Vault", "org.example.Editor"}, false, {},
                                           std::nullopt);
    } else {
      h.engine->refreshCaptureFilterForApplicationChange(true, std::nullopt, std::nullopt);
    }
    ASSERT_TRUE(h.engine->isCaptureFilterTransitioning.value());
    // Stepped finely: no request during the hold, one in the very step it ends.
    for (int step = 0; step < 400 && h.engine->isCaptureFilterTransitioning.value(); ++step) {
      EXPECT_EQ(h.desktop->captureCounters().frameRequests, before);
      h.loop.advance(0.005);
    }
    EXPECT_FALSE(h.engine->isCaptureFilterTransitioning.value());
    EXPECT_EQ(h.desktop->captureCounters().frameRequests, before + 1);
  }
}

// The private application comes to the front while the session's first stream is starting: the
// hold it asks for ends as soon as the stream runs and the filter is seen to cover it (not at
// the refresh's next try), and the first frame follows.
TEST_F(ProtectedShareEngineTest, AHoldAskedForWhileTheStreamStartsEndsOnceItRuns) {
  h.desktop->captureScript().start.latency = 0.6;
  for (const double askedAt : {0.01, 0.12, 0.26, 0.43}) {
    SCOPED_TRACE("asked " + std::to_string(askedAt) + " s into the start");
    auto handle = runtime::spawn(h.engine->start({"org.example.Vault"}, false, {}, std::nullopt));
    h.loop.advance(askedAt);
    ASSERT_EQ(h.engine->phase.value(), ProtectedSharePhase::starting);
    h.engine->refreshCaptureFilterForApplicationChange(true, "org.example.Vault", vault);
    ASSERT_TRUE(h.engine->isCaptureFilterTransitioning.value());
    const auto startsRecorded = [&] {
      const auto names = h.eventNames();
      return std::count(names.begin(), names.end(), "protected_share_stream_started");
    };
    const auto startsBefore = startsRecorded();
    for (int step = 0; step < 400 && startsRecorded() == startsBefore; ++step)
      h.loop.advance(0.005);
    ASSERT_GT(startsRecorded(), startsBefore);
    // Stepped finely from the moment the stream runs.
    int heldFor = 0;
    while (h.engine->isCaptureFilterTransitioning.value() && heldFor < 400) {
      h.loop.advance(0.005);
      ++heldFor;
    }
    EXPECT_LE(heldFor, 2);
    for (int step = 0; step < 4 && !h.engine->renderedFrame.value(); ++step) h.loop.advance(0.005);
    EXPECT_TRUE(h.engine->renderedFrame.value());
    h.finish(handle);
    h.stop();
  }
}

TEST_F(ProtectedShareEngineTest, ProtectedAppLaunchFreezesUntilTheFilterCoversIt) {
  h.startSharing({"org.example.Vault", "org.example.Keys"});
  h.loop.advance(0.3);
  const auto keys = h.desktop->launchApplication({"org.example.Keys", "Keys"}).value();
  h.engine->refreshCaptureFilterForApplicationChange(true, "org.example.Keys", keys);
  const auto keysWindow = h.desktop->addWindow(keys, {platform::Rect{{0, 0}, {80, 90}}}).value();
  EXPECT_EQ(h.engine->statusMessage.value(), "Updating the protected app filter");
  h.loop.advance(2.0);
  EXPECT_FALSE(h.engine->isCaptureFilterTransitioning.value());
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);
  EXPECT_TRUE(
      h.engine->activeCaptureFilter()->applicationIdentities.contains({"org.example.Keys", keys}));
  for (const auto& p : h.published)
    EXPECT_FALSE(h.desktop->frameContainsWindow(*p.image, keysWindow));
}

TEST_F(ProtectedShareEngineTest, AFilterThatIsNotAppliedInTimeFailsClosed) {
  h.startSharing({"org.example.Vault"});
  h.loop.advance(0.3);
  const auto held = h.shownImage();
  const auto publishedBefore = h.published.size();
  // An excluded application starts, but the window list cannot be read to build its filter.
  const auto keys = h.desktop->launchApplication({"org.example.Vault.keys", "Keys"}).value();
  h.desktop->captureScript().shareableContent.failure = "The window list is unavailable.";
  h.engine->refreshCaptureFilterForApplicationChange(true, "org.example.Vault.keys", keys);
  (void)h.desktop->addWindow(keys, {platform::Rect{{0, 0}, {160, 90}}});
  h.loop.advance(ProtectedShareEngine::kCaptureFilterApplyTimeout - 0.5);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);
  EXPECT_EQ(h.engine->statusMessage.value(), "Updating the protected app filter");
  h.loop.advance(1.0);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(h.engine->lastError.value(),
            "Protected app filter could not be applied. Stop Protected Share and try again.");
  EXPECT_EQ(h.engine->statusMessage.value(), h.engine->lastError.value());
  h.loop.advance(2.0);
  EXPECT_EQ(h.published.size(), publishedBefore);
  EXPECT_EQ(h.shownImage().get(), held.get()) << "the last good frame stays";
  EXPECT_TRUE(h.recorded("protected_share_capture_filter_timed_out"));
}

TEST_F(ProtectedShareEngineTest, RequestsFasterThanAFilterAppliesEndTheHoldWithinItsLimit) {
  h.startSharing({"org.example.Vault"});
  // Reading the window list takes longer than the gap between two launches.
  h.desktop->captureScript().shareableContent.latency = 0.3;
  std::vector<std::uint32_t> helperWindows;
  int launched = 0;
  auto launchFor = [&](double seconds) {
    for (double t = 0; t < seconds; t += 0.1, ++launched) {
      const auto bundleID = "org.example.Vault.helper" + std::to_string(launched);
      const auto helper = h.desktop->launchApplication({bundleID, "Helper"}).value();
      h.engine->refreshCaptureFilterForApplicationChange(true, bundleID, helper);
      helperWindows.push_back(
          h.desktop->addWindow(helper, {platform::Rect{{0, 0}, {160, 90}}}).value());
      h.loop.advance(0.1);
    }
  };

  // A short burst: once it ends, the newest filter applies and the hold ends.
  launchFor(2.0);
  h.loop.advance(1.0);
  EXPECT_FALSE(h.engine->isCaptureFilterTransitioning.value());
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);
  const auto newest = "org.example.Vault.helper" + std::to_string(launched - 1);
  EXPECT_TRUE(std::any_of(h.engine->activeCaptureFilter()->applicationIdentities.begin(),
                          h.engine->activeCaptureFilter()->applicationIdentities.end(),
                          [&](const auto& identity) { return identity.bundleID == newest; }));

  // One protected launch amid a stream of refreshes that hold nothing (other applications'
  // windows coming and going): the first filter read after the launch ends the hold, and the
  // session goes on however long the stream lasts.
  launchFor(0.1);
  bool heldPastTheLimit = false;
  for (double t = 0; t < 2 * ProtectedShareEngine::kCaptureFilterApplyTimeout; t += 0.1) {
    h.engine->refreshCaptureFilterForApplicationChange(false, std::nullopt, std::nullopt);
    h.loop.advance(0.1);
    if (t >= 1.0) heldPastTheLimit |= h.engine->isCaptureFilterTransitioning.value();
  }
  EXPECT_FALSE(heldPastTheLimit);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);

  // A burst that outlasts the limit: the held frame ends with the failure, not with the burst.
  const auto publishedBefore = h.published.size();
  launchFor(ProtectedShareEngine::kCaptureFilterApplyTimeout - 0.2);
  EXPECT_TRUE(h.engine->isCaptureFilterTransitioning.value());
  launchFor(1.0);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(h.engine->lastError.value(),
            "Protected app filter could not be applied. Stop Protected Share and try again.");
  EXPECT_TRUE(h.recorded("protected_share_capture_filter_timed_out"));
  EXPECT_EQ(h.published.size(), publishedBefore);
  for (const auto& p : h.published)
    for (const auto window : helperWindows)
      EXPECT_FALSE(h.desktop->frameContainsWindow(*p.image, window));
}

TEST_F(ProtectedShareEngineTest, WaitsForALaunchedAppToBeListedAndIgnoresOneThatQuit) {
  h.startSharing({"org.example.Vault"});
  // Listed late: the hold lasts until the window list shows it, then the filter covers it.
  h.desktop->captureScript().shareableContent.latency = 0.6;
  const auto keys = h.desktop->launchApplication({"org.example.Vault.keys", "Keys"}).value();
  h.engine->refreshCaptureFilterForApplicationChange(true, "org.example.Vault.keys", keys);
  const auto keysWindow = h.desktop->addWindow(keys, {platform::Rect{{0, 0}, {160, 90}}}).value();
  h.loop.advance(0.5);
  EXPECT_TRUE(h.engine->isCaptureFilterTransitioning.value());
  h.loop.advance(1.0);
  EXPECT_FALSE(h.engine->isCaptureFilterTransitioning.value());
  for (const auto& p : h.published)
    EXPECT_FALSE(h.desktop->frameContainsWindow(*p.image, keysWindow));

  // An application that quit before it could be listed has nothing left to hide.
  h.desktop->captureScript().shareableContent.latency = 0;
  h.engine->refreshCaptureFilterForApplicationChange(true, "org.example.Vault.gone", 999);
  h.loop.advance(1.0);
  EXPECT_FALSE(h.engine->isCaptureFilterTransitioning.value());
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);
}

TEST_F(ProtectedShareEngineTest, AnAppStartingDuringAReplacementKeepsTheHoldUntilItIsCovered) {
  h.startSharing({"org.example.Vault"});
  h.desktop->captureScript().start.latency = 0.3;
  // The user adds the editor: the stream is replaced with a filter built from the window list
  // as it is now.
  h.engine->updateCaptureConfiguration({"org.example.Vault", "org.example.Editor"}, false, {},
                                       std::nullopt);
  h.loop.advance(0.1);
  // While the new stream starts, a helper of an excluded application opens a window.
  const auto helper = h.desktop->launchApplication({"org.example.Vault.helper", "Helper"}).value();
  h.engine->refreshCaptureFilterForApplicationChange(true, "org.example.Vault.helper", helper);
  const auto helperWindow =
      h.desktop->addWindow(helper, {platform::Rect{{0, 0}, {160, 90}}}).value();
  h.loop.advance(0.4);
  EXPECT_TRUE(h.engine->isCaptureFilterTransitioning.value())
      << "the first replacement does not cover the helper";
  h.loop.advance(2.0);
  EXPECT_FALSE(h.engine->isCaptureFilterTransitioning.value());
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);
  for (const auto& p : h.published)
    EXPECT_FALSE(h.desktop->frameContainsWindow(*p.image, helperWindow));
}

TEST_F(ProtectedShareEngineTest, AReplacementStreamThatDoesNotStartFailsClosed) {
  h.startSharing({"org.example.Vault"});
  h.desktop->captureScript().start.hangs = true;
  const auto publishedBefore = h.published.size();
  h.engine->updateCaptureConfiguration({"org.example.Vault", "org.example.Editor"}, false, {},
                                       std::nullopt);
  h.loop.advance(ProtectedShareEngine::kStartTimeout + 1.0);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(h.engine->lastError.value(),
            "Protected app filter could not be applied. Stop Protected Share and try again.");
  EXPECT_EQ(h.published.size(), publishedBefore);
  EXPECT_TRUE(h.recorded("protected_share_stream_replacement_failed"));
}

TEST_F(ProtectedShareEngineTest, StartTimesOutWithItsMessage) {
  h.desktop->captureScript().start.hangs = true;
  auto handle = runtime::spawn(h.engine->start({"org.example.Vault"}, false, {}, std::nullopt));
  h.loop.advance(ProtectedShareEngine::kStartTimeout - 0.1);
  EXPECT_FALSE(handle.isDone());
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::starting);
  h.loop.advance(0.2);
  ASSERT_TRUE(handle.isDone());
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(h.engine->lastError.value(),
            "Screen capture start timed out. Stop Protected Share and try again.");
  EXPECT_TRUE(h.published.empty());
  EXPECT_TRUE(h.recorded("protected_share_start_failed"));
}

TEST_F(ProtectedShareEngineTest, AFirstFrameThatNeverComesFailsClosed) {
  h.desktop->captureScript().stalled = true;
  h.desktop->captureScript().screenshot.failure = "The display cannot be read.";
  h.start({"org.example.Vault"});
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::starting);
  EXPECT_EQ(h.engine->statusMessage.value(), "Waiting for the first protected frame");
  h.loop.advance(ProtectedShareEngine::kFirstFrameTimeout + 1.5);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(h.engine->lastError.value(),
            "Screen capture did not deliver a first frame. Stop Protected Share and try again.");
  EXPECT_TRUE(h.recorded("protected_share_first_frame_timed_out"));
}

TEST_F(ProtectedShareEngineTest, ExclusionsChangedWhileStartingApplyOnceTheStreamRuns) {
  h.desktop->captureScript().start.latency = 0.5;
  auto starting = runtime::spawn(h.engine->start({"org.example.Vault"}, false, {}, std::nullopt));
  h.loop.advance(0.2);
  h.engine->updateCaptureConfiguration({"org.example.Vault", "org.example.Editor"}, false, {},
                                       std::nullopt);
  h.finish(starting);
  h.loop.advance(2.0);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);
  EXPECT_FALSE(h.engine->isCaptureFilterTransitioning.value());
  ASSERT_FALSE(h.published.empty());
  for (const auto& p : h.published)
    EXPECT_FALSE(h.desktop->frameContainsWindow(*p.image, editorWindow));
  // The session's watchdogs and pointer run as after any start.
  h.desktop->captureScript().stalled = true;
  h.desktop->captureScript().screenshot.hangs = true;
  for (int i = 0; i < 40 && h.engine->phase.value() == ProtectedSharePhase::sharing; ++i) {
    h.desktop->setSecondsSinceLastInput(0);
    h.loop.advance(0.5);
  }
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
}

TEST_F(ProtectedShareEngineTest, ARefreshAskedForDuringASlowStartCountsItsLimitFromTheStartsEnd) {
  // A start may take most of its own limit; a helper that opens meanwhile must wait for it
  // without its wait counting against the refresh.
  h.desktop->captureScript().start.latency = 4.5;
  auto starting = runtime::spawn(h.engine->start({"org.example.Vault"}, false, {}, std::nullopt));
  h.loop.advance(0.1);
  h.desktop->captureScript().start.latency = 0;
  const auto keys = h.desktop->launchApplication({"org.example.Vault.keys", "Keys"}).value();
  h.engine->refreshCaptureFilterForApplicationChange(true, "org.example.Vault.keys", keys);
  const auto keysWindow = h.desktop->addWindow(keys, {platform::Rect{{0, 0}, {160, 90}}}).value();
  h.finish(starting);
  h.loop.advance(ProtectedShareEngine::kCaptureFilterApplyTimeout - 1.0);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing)
      << h.engine->lastError.value().value_or("");
  EXPECT_FALSE(h.engine->isCaptureFilterTransitioning.value());
  EXPECT_TRUE(h.engine->activeCaptureFilter()->applicationIdentities.contains(
      {"org.example.Vault.keys", keys}));
  ASSERT_FALSE(h.published.empty());
  for (const auto& p : h.published)
    EXPECT_FALSE(h.desktop->frameContainsWindow(*p.image, keysWindow));
}

TEST_F(ProtectedShareEngineTest, ThePointerKeepsTheScreensScaleAfterADisplayChange) {
  using platform::sim::SimDesktop;
  ASSERT_TRUE(h.desktop->updateDisplay(SimDesktop::makeDisplay(1, {{0, 0}, {160, 90}}, 2, true)));
  h.desktop->setCursorImage(std::make_shared<platform::PixelBuffer>(16, 24), {4, 6});
  h.desktop->moveCursor({40, 45});
  h.startSharing({"org.example.Vault"});
  EXPECT_EQ(h.engine->outputSurface()->cursorState().pointSize, (platform::Size{8, 12}));

  // The display grows: the stream is replaced for it and the pointer follows it.
  ASSERT_TRUE(h.desktop->updateDisplay(SimDesktop::makeDisplay(1, {{0, 0}, {320, 180}}, 2, true)));
  h.engine->refreshCaptureFilterForApplicationChange(false, std::nullopt, std::nullopt);
  h.loop.advance(1.0);
  ASSERT_TRUE(h.recorded("protected_share_stream_replaced_for_filter"));
  const auto cursor = h.engine->outputSurface()->cursorState();
  EXPECT_EQ(cursor.sourceDisplaySize, (platform::Size{320, 180}));
  EXPECT_EQ(cursor.pointSize, (platform::Size{8, 12}))
      << "a 2x screen draws the pointer at half its pixels";
}

TEST_F(ProtectedShareEngineTest, StopTimesOutAfterOnePointFiveSecondsAndStillEndsIdle) {
  h.startSharing({"org.example.Vault"});
  h.desktop->captureScript().stop.hangs = true;
  auto handle = runtime::spawn(h.engine->stop());
  h.loop.advance(0.1);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::stopping);
  EXPECT_FALSE(h.engine->outputSurface()->snapshot()) << "the output is cleared at once";
  h.loop.advance(1.3);
  EXPECT_FALSE(handle.isDone());
  h.loop.advance(0.2);
  ASSERT_TRUE(handle.isDone());
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::idle);
  EXPECT_EQ(h.engine->statusMessage.value(), "Protected Share is idle");
  EXPECT_FALSE(h.engine->renderedFrame.value());
  EXPECT_TRUE(h.recorded("protected_share_stop_failed"));
}

TEST_F(ProtectedShareEngineTest, AStreamThatStopsWithAnErrorFailsTheSession) {
  h.startSharing({"org.example.Vault"});
  const auto held = h.shownImage();
  h.desktop->stopStreamsWithError("The display was disconnected.");
  h.loop.advance(0.1);
  const auto publishedAtFailure = h.published.size();
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(h.engine->lastError.value(),
            "Screen capture stopped: The display was disconnected. Stop Protected Share and try "
            "again.");
  h.loop.advance(1.0);
  EXPECT_EQ(h.published.size(), publishedAtFailure);
  EXPECT_TRUE(h.recorded("protected_share_stream_stopped_with_error"));
  (void)held;
}

TEST_F(ProtectedShareEngineTest, StopDuringStartEndsIdleAndTheLateStartDoesNothing) {
  h.desktop->captureScript().start.latency = 1.0;
  auto starting = runtime::spawn(h.engine->start({"org.example.Vault"}, false, {}, std::nullopt));
  h.loop.advance(0.3);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::starting);
  auto stopping = runtime::spawn(h.engine->stop());
  h.finish(stopping);
  h.finish(starting);
  h.loop.advance(2.0);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::idle);
  EXPECT_TRUE(h.published.empty());
  EXPECT_FALSE(h.engine->outputSurface()->snapshot());
  for (const auto& stream : h.desktop->liveStreams()) EXPECT_FALSE(stream->isRunning());
}

TEST_F(ProtectedShareEngineTest, RefusedPermissionEndsInPermissionRequiredWithTheReason) {
  h.desktop->setScreenCaptureAllowed(false, "Log in to an X11 session to share your screen.");
  h.start({"org.example.Vault"});
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::permissionRequired);
  EXPECT_EQ(h.engine->lastError.value(), "Log in to an X11 session to share your screen.");
  EXPECT_EQ(h.desktop->captureCounters().streamsMade, 0);
}

TEST_F(ProtectedShareEngineTest, AStalledCaptureWithUnansweredInputFailsClosed) {
  h.startSharing({"org.example.Vault"});
  h.loop.advance(1.0);
  h.desktop->captureScript().stalled = true;
  h.desktop->captureScript().screenshot.failure = "The display cannot be read.";
  // A still screen without input is never a stall.
  h.loop.advance(60.0);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);
  // The user keeps typing and nothing comes back.
  for (int i = 0; i < 40 && h.engine->phase.value() == ProtectedSharePhase::sharing; ++i) {
    h.desktop->setSecondsSinceLastInput(0);
    h.loop.advance(0.5);
  }
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(h.engine->lastError.value(),
            "Screen capture stopped updating. Stop Protected Share or retry the session.");
  EXPECT_TRUE(h.recorded("protected_share_capture_stalled"));
}

TEST_F(ProtectedShareEngineTest, ScreenshotsStandInForASilentStreamWhileTheUserWorks) {
  // Silent from the start: the first frame comes from a filtered screenshot.
  h.desktop->captureScript().stalled = true;
  h.startSharing({"org.example.Vault"});
  h.loop.advance(1.5);
  ASSERT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);
  EXPECT_TRUE(h.recorded("protected_share_screenshot_fallback_started"));
  h.desktop->captureScript().stalled = false;
  h.loop.advance(1.0);
  EXPECT_TRUE(h.recorded("protected_share_screenshot_fallback_stopped"));

  // Silent while the user types: at most five screenshots a second keep the output moving,
  // each through the same filter.
  h.desktop->captureScript().stalled = true;
  h.loop.advance(1.5);
  const auto before = h.published.size();
  const int screenshotsBefore = h.desktop->captureCounters().screenshots;
  for (int i = 0; i < 20; ++i) {
    h.desktop->setSecondsSinceLastInput(0);
    repaint(h, editorWindow, i);
    h.loop.advance(0.1);
  }
  EXPECT_GE(h.published.size() - before, 5u);
  EXPECT_LE(h.desktop->captureCounters().screenshots - screenshotsBefore, 11);
  for (const auto& p : h.published) EXPECT_FALSE(showsVault(p.image));
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);

  // Paused: the held frame stays, screenshots or not.
  h.engine->setPublishingPaused(true);
  const auto paused = h.published.size();
  for (int i = 0; i < 10; ++i) {
    h.desktop->setSecondsSinceLastInput(0);
    h.loop.advance(0.2);
  }
  EXPECT_EQ(h.published.size(), paused);
}

// One screenshot that never answers must not turn the fallback off for the session: it is given
// up after its time limit, a late answer of a given-up request publishes nothing, and the next
// request works.
TEST_F(ProtectedShareEngineTest, AScreenshotThatNeverCompletesIsGivenUpAndTheFallbackWorksAgain) {
  auto& script = h.desktop->captureScript();
  script.stalled = true;
  script.screenshot.hangs = true;
  h.start({"org.example.Vault"});
  h.loop.advance(1.5);
  ASSERT_EQ(h.desktop->captureCounters().screenshots, 1);
  h.loop.advance(0.4);
  EXPECT_EQ(h.desktop->captureCounters().screenshots, 1) << "one at a time while it is in time";

  // Slower than the limit from now on: each answer comes after its request was given up.
  script.screenshot = platform::sim::SimOperationScript::answeringAfter(
      ProtectedScreenshotFallback::kRequestTimeout + 0.5);
  h.loop.advance(1.5);  // the hanging request is given up; the next one goes out
  EXPECT_EQ(h.desktop->captureCounters().screenshots, 2);
  EXPECT_TRUE(h.recorded("protected_share_screenshot_fallback_failed"));
  h.loop.advance(2.6);  // the second answers late
  EXPECT_TRUE(h.published.empty()) << "a late screenshot is ignored";

  script.screenshot = platform::sim::SimOperationScript::answeringAfter(0.03);
  h.loop.advance(2.5);
  ASSERT_FALSE(h.published.empty());
  for (const auto& p : h.published) EXPECT_FALSE(showsVault(p.image));
  EXPECT_TRUE(h.recorded("protected_share_screenshot_fallback_started"));
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);
}

TEST_F(ProtectedShareEngineTest, AnOutputThatNeverPresentsFailsOnceACanvasIsAttached) {
  h.startSharing({"org.example.Vault"});
  auto canvas = h.engine->outputSurface()->setRedrawHandler([](ProtectedRedrawRequest) {});
  h.loop.advance(15.0);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(h.engine->lastError.value(),
            "Protected output stopped updating. Stop Protected Share or retry the session.");
}

TEST_F(ProtectedShareEngineTest, APresentingCanvasKeepsTheSessionLive) {
  h.startSharing({"org.example.Vault"});
  auto surface = h.engine->outputSurface();
  auto canvas = surface->setRedrawHandler([surface](ProtectedRedrawRequest) {
    if (auto snapshot = surface->snapshot())
      surface->reportPresentationCompleted(snapshot->revision);
  });
  h.loop.advance(15.0);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);
  EXPECT_GT(h.engine->metrics.value().outputFrames, 600);
  EXPECT_GT(h.engine->metrics.value().captureFPS, 50);
}

TEST_F(ProtectedShareEngineTest, FileManagerRelaunchHoldsUntilTheNextFilterIsApplied) {
  auto files = h.desktop->launchApplication({"org.example.Files", "Files"}).value();
  (void)h.desktop->addWindow(
      files, {platform::Rect{{0, 0}, {160, 90}}, -1, platform::sim::SimWindowKind::desktopIcons});
  h.startSharing({"org.example.Vault"}, /*hideDesktopIcons=*/true);
  EXPECT_TRUE(h.engine->hideDesktopIconsInProtectedShare());
  h.engine->handleFinderRelaunch();
  EXPECT_TRUE(h.engine->isCaptureFilterTransitioning.value());
  const auto publishedBefore = h.published.size();
  (void)h.desktop->quitApplication(files);
  files = h.desktop->launchApplication({"org.example.Files", "Files"}).value();
  const auto icons = h.desktop
                         ->addWindow(files, {platform::Rect{{0, 0}, {160, 90}}, -1,
                                             platform::sim::SimWindowKind::desktopIcons})
                         .value();
  h.loop.advance(3.0);
  EXPECT_EQ(h.published.size(), publishedBefore) << "held until a filter is applied";
  EXPECT_TRUE(h.recorded("protected_share_finder_relaunch_held"));
  h.engine->refreshCaptureFilterForApplicationChange(false, std::nullopt, std::nullopt);
  h.loop.advance(1.0);
  EXPECT_FALSE(h.engine->isCaptureFilterTransitioning.value());
  ASSERT_GT(h.published.size(), publishedBefore);
  for (const auto& p : h.published) EXPECT_FALSE(h.desktop->frameContainsWindow(*p.image, icons));
}

TEST_F(ProtectedShareEngineTest, ForegroundProtectedAppChangesTheStatus) {
  h.startSharing({"org.example.Vault"});
  h.engine->setForegroundProtectedApplication("Vault");
  EXPECT_EQ(h.engine->statusMessage.value(), "Vault is excluded from Protected Share");
  h.engine->setForegroundProtectedApplication(std::nullopt);
  EXPECT_EQ(h.engine->statusMessage.value(), "Protected Share live");
  EXPECT_TRUE(h.recorded("protected_share_excluded_app_foreground"));
}

TEST_F(ProtectedShareEngineTest, ASecondSessionStartsCleanAfterAFailure) {
  h.startSharing({"org.example.Vault"});
  h.desktop->stopStreamsWithError("Lost.");
  h.loop.advance(0.2);
  ASSERT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
  h.startSharing({"org.example.Vault"});
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);
  EXPECT_FALSE(h.engine->lastError.value());
}

}  // namespace
}  // namespace corvane::capture
