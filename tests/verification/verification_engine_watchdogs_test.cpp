#include <gtest/gtest.h>

#include "verification_engine_harness.h"

namespace corvane::verification {
namespace {

using model::ProtectedSharePhase;
using testing::VerificationEngineHarness;

// What the publication of a verified frame leaves behind: a frame out, on the surface, and the
// liveness checks running.
void publishVerifiedFrame(VerificationEngineHarness& h) {
  auto image = std::make_shared<platform::PixelBuffer>(320, 180);
  image->fill(0xFF336699);
  const auto sequence = h.engine->outputSurface()->sequence().value_or(0) + 1;
  ASSERT_TRUE(h.engine->outputSurface()->update(image, sequence, h.engine->captureGeneration()));
  h.engine->renderedFrame.set(model::ProtectedRenderedFrame{sequence, {320, 180}, {}});
  h.engine->scheduleLivenessWatchdog();
}

TEST(VerificationEngineWatchdogTest, TheOutputStallsOnlyWhenAnAttachedPresenterStopsPresenting) {
  VerificationEngineHarness h;
  // No analysis succeeds: the test's frames are the only ones out.
  h.recognizer->setRecognitionFailsFor([](const auto&) { return true; });
  h.start();
  publishVerifiedFrame(h);
  h.loop.advance(30.0);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing)
      << "nothing presents the surface, so nothing can be late: "
      << h.engine->statusMessage.value();

  // A presenter attaches, and never presents what waits: the wait counts from its arrival.
  int redraws = 0;
  auto presenter = h.engine->outputSurface()->setRedrawHandler([&](auto) { ++redraws; });
  publishVerifiedFrame(h);
  h.loop.advance(9.0);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::sharing);
  h.loop.advance(6.0);
  EXPECT_GT(redraws, 0);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(h.engine->lastError.value(),
            "Protected output stopped updating. Stop Protected Share or retry the session.");
  const auto stalls = h.eventsNamed("protected_share_output_stalled");
  ASSERT_EQ(stalls.size(), 1u);
  EXPECT_EQ(stalls[0].fields.at("seconds"), "-1") << "never presented";
  EXPECT_EQ(stalls[0].fields.at("analyzing"), "false");
  EXPECT_EQ(h.runningStreams(), 0);
}

TEST(VerificationEngineWatchdogTest, ASilentCaptureFailsOnlyWhenInputGoesUnanswered) {
  VerificationEngineHarness h;
  h.start();
  publishVerifiedFrame(h);
  h.desktop->captureScript().stalled = true;
  h.desktop->captureScript().screenshot.hangs = true;
  h.loop.advance(60.0);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::analyzing) << "a static screen";
  EXPECT_EQ(h.desktop->captureCounters().screenshots, 0) << "nothing to refresh without input";

  h.desktop->moveCursor({20, 20});
  h.loop.advance(2.0);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::analyzing);
  h.loop.advance(4.0);
  EXPECT_EQ(h.engine->phase.value(), ProtectedSharePhase::failed);
  EXPECT_EQ(h.engine->lastError.value(),
            "Screen capture stopped updating. Stop Protected Share or retry the session.");
  ASSERT_EQ(h.eventsNamed("protected_share_capture_stalled").size(), 1u);
}

TEST(VerificationEngineWatchdogTest, ScreenshotsStandInForASilentStreamAndAHungOneFreesItsSlot) {
  VerificationEngineHarness h;
  h.desktop->captureScript().stalled = true;
  h.desktop->captureScript().screenshot.hangs = true;
  h.start();
  h.loop.advance(1.5);
  EXPECT_EQ(h.desktop->captureCounters().screenshots, 1) << "one at a time";
  h.loop.advance(2.5);
  EXPECT_EQ(h.desktop->captureCounters().screenshots, 2) << "the hung one timed out";
  EXPECT_EQ(h.eventsNamed("protected_share_screenshot_fallback_failed").size(), 1u);

  h.desktop->captureScript().screenshot.hangs = false;
  h.loop.advance(2.5);
  EXPECT_TRUE(h.engine->isScreenshotFallbackActive());
  const auto started = h.eventsNamed("protected_share_screenshot_fallback_started");
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].fields.at("targetFPS"), "5");
  EXPECT_GT(h.engine->candidatesReceived(), 0u) << "screenshots go through the same intake";
  const int screenshots = h.desktop->captureCounters().screenshots;
  h.loop.advance(2.0);
  EXPECT_LE(h.desktop->captureCounters().screenshots - screenshots, 10) << "at most 5 a second";

  h.desktop->captureScript().stalled = false;
  h.loop.advance(1.0);
  EXPECT_FALSE(h.engine->isScreenshotFallbackActive());
  const auto stopped = h.eventsNamed("protected_share_screenshot_fallback_stopped");
  ASSERT_EQ(stopped.size(), 1u);
  EXPECT_EQ(stopped[0].fields.at("reason"), "stream_resumed");
}

TEST(VerificationEngineWatchdogTest, MetricsArePublishedOnceASecondWithVerifiedRatesNeverNegative) {
  VerificationEngineHarness h;
  h.start();
  publishVerifiedFrame(h);
  auto metrics = h.engine->metrics.value();
  metrics.verifiedFrames = 12;
  h.engine->metrics.set(metrics);
  h.loop.advance(2.0);
  const auto published = h.engine->metrics.value();
  EXPECT_GT(published.capturedFrames, 0);
  EXPECT_GT(published.captureFPS, 20);
  EXPECT_EQ(published.outputWidth, 320);

  metrics = h.engine->metrics.value();
  metrics.verifiedFrames = 0;  // a reset
  h.engine->metrics.set(metrics);
  h.loop.advance(1.5);
  EXPECT_EQ(h.engine->metrics.value().verifiedFPS, 0);
  const auto reports = h.eventsNamed("protected_share_performance");
  ASSERT_FALSE(reports.empty());
  for (const char* field : {"captureFPS", "outputFPS", "verifiedFPS", "width", "height",
                            "analysisMS", "changedAreaPercent", "presentationFailures"})
    EXPECT_TRUE(reports[0].fields.contains(field)) << field;
  h.loop.advance(2.0);
  EXPECT_EQ(h.eventsNamed("protected_share_performance").size(), reports.size())
      << "at most every 5 s";
}

}  // namespace
}  // namespace corvane::verification
