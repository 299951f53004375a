#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "platform/sim/sim_capture_stream.h"
#include "platform/sim/sim_colors.h"
#include "platform/sim/sim_desktop.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::platform::sim {
namespace {

class SimCaptureStreamTest : public ::testing::Test {
 protected:
  SimCaptureStreamTest() {
    EXPECT_TRUE(desktop->addDisplay(SimDesktop::makeDisplay(1, Rect{{0, 0}, {64, 36}}, 1, true)));
    editor = desktop->launchApplication({"org.example.Editor", "Editor"}).value();
    vault = desktop->launchApplication({"org.example.Vault", "Vault"}).value();
    editorWindow = desktop->addWindow(editor, SimWindowSpec{Rect{{0, 0}, {64, 36}}}).value();
    vaultWindow = desktop->addWindow(vault, SimWindowSpec{Rect{{8, 8}, {16, 16}}}).value();
    configuration.minimumFrameInterval = 0.1;
  }

  ContentFilter filter(bool excludeVault) const {
    ContentFilter f;
    f.displayID = 1;
    if (excludeVault) f.excludedApplications.push_back({"org.example.Vault", "Vault", 0});
    return f;
  }

  std::shared_ptr<SimCaptureStream> makeStream(const ContentFilter& f) {
    StreamOutput output;
    output.onSample = [this](const CapturedSample& sample) {
      EXPECT_TRUE(queue->isCurrent());
      samples.push_back(sample);
      arrivals.push_back(loop.uptime());
    };
    output.onStopWithError = [this](const runtime::Error& error) {
      EXPECT_TRUE(queue->isCurrent());
      stopErrors.push_back(error.message);
    };
    return desktop->makeSimStream(f, configuration, output, queue);
  }

  // Runs the operation and returns its status once it completed, or nothing while it has not.
  using Operation = std::function<void(Completion)>;
  std::shared_ptr<std::optional<runtime::Status>> begin(const Operation& operation) {
    auto outcome = std::make_shared<std::optional<runtime::Status>>();
    operation([outcome](runtime::Status status) {
      EXPECT_FALSE(outcome->has_value()) << "completed twice";
      *outcome = std::move(status);
    });
    return outcome;
  }

  bool showsVault(const CapturedSample& sample) const {
    return sample.pixels && desktop->frameContainsWindow(*sample.pixels, vaultWindow);
  }

  runtime::VirtualRunLoop loop;
  std::shared_ptr<SimDesktop> desktop = SimDesktop::make();
  std::shared_ptr<runtime::VirtualSerialQueue> queue = loop.makeQueue("samples");
  StreamConfiguration configuration;
  std::int32_t editor = 0;
  std::int32_t vault = 0;
  std::uint32_t editorWindow = 0;
  std::uint32_t vaultWindow = 0;
  std::vector<CapturedSample> samples;
  std::vector<double> arrivals;
  std::vector<std::string> stopErrors;
};

TEST_F(SimCaptureStreamTest, StartCompletesAfterItsLatencyThenDeliversEveryInterval) {
  auto stream = makeStream(filter(true));
  auto started = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(0.04);
  EXPECT_FALSE(started->has_value());
  loop.advance(0.02);
  ASSERT_TRUE(started->has_value());
  EXPECT_TRUE(started->value().ok());
  loop.advance(0.14);  // the first frame one interval after the start: 0.15
  ASSERT_EQ(samples.size(), 1u);
  loop.advance(0.3);
  ASSERT_EQ(samples.size(), 4u);
  EXPECT_NEAR(samples[0].presentationTime, 1000.15, 1e-9);
  EXPECT_NEAR(samples[3].presentationTime, 1000.45, 1e-9);
  for (const auto& sample : samples) {
    ASSERT_TRUE(sample.pixels);
    EXPECT_EQ(sample.pixels->width(), 64);
    EXPECT_EQ(sample.status, FrameStatus::complete);
    EXPECT_TRUE(sample.valid);
    EXPECT_FALSE(showsVault(sample));
    EXPECT_TRUE(desktop->frameContainsWindow(*sample.pixels, editorWindow));
  }
  EXPECT_EQ(desktop->captureCounters().startRequests, 1);
  EXPECT_EQ(desktop->captureCounters().samplesComposed, 4);
}

TEST_F(SimCaptureStreamTest, StopEndsDeliveryWhenItCompletes) {
  auto stream = makeStream(filter(true));
  auto idle = begin([&](Completion c) { stream->stopCapture(c); });
  loop.advance(0.05);
  ASSERT_TRUE(idle->has_value());
  EXPECT_EQ(idle->value().message(), "The stream is not capturing.");

  auto started = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(0.27);  // frames at 0.15 and 0.25
  auto stopped = begin([&](Completion c) { stream->stopCapture(c); });
  loop.advance(0.04);
  EXPECT_TRUE(stream->isRunning());
  loop.advance(0.02);  // the stop completed at 0.32; a frame would be due at 0.35
  ASSERT_TRUE(stopped->has_value());
  EXPECT_TRUE(stopped->value().ok());
  EXPECT_FALSE(stream->isRunning());
  loop.advance(1);
  EXPECT_EQ(samples.size(), 2u);
  EXPECT_EQ(desktop->captureCounters().stopRequests, 2);
  EXPECT_TRUE(stopErrors.empty());
}

TEST_F(SimCaptureStreamTest, HangingStartNeverCompletesAndAStopCancelsIt) {
  desktop->captureScript().start.hangs = true;
  auto stream = makeStream(filter(true));
  auto started = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(10);
  EXPECT_FALSE(started->has_value());
  EXPECT_TRUE(samples.empty());
  auto stopped = begin([&](Completion c) { stream->stopCapture(c); });
  loop.advance(0.05);
  ASSERT_TRUE(stopped->has_value());
  EXPECT_TRUE(stopped->value().ok());
}

TEST_F(SimCaptureStreamTest, StopCompletingBeforeAPendingStartCancelsTheStart) {
  desktop->captureScript().start.latency = 1.0;
  auto stream = makeStream(filter(true));
  auto started = begin([&](Completion c) { stream->startCapture(c); });
  auto stopped = begin([&](Completion c) { stream->stopCapture(c); });
  loop.advance(2);
  ASSERT_TRUE(stopped->has_value() && started->has_value());
  EXPECT_EQ(started->value().message(), "The stream was stopped before it started.");
  EXPECT_FALSE(stream->isRunning());
  EXPECT_TRUE(samples.empty());
}

TEST_F(SimCaptureStreamTest, FailingStartAndStopReportTheScriptedError) {
  desktop->captureScript().start.failure = "The capture service refused to start.";
  auto stream = makeStream(filter(true));
  auto started = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(1);
  ASSERT_TRUE(started->has_value());
  EXPECT_EQ(started->value().message(), "The capture service refused to start.");
  EXPECT_TRUE(samples.empty());

  desktop->captureScript().start.failure.reset();
  desktop->captureScript().stop.failure = "Stop failed.";
  started = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(0.05);
  auto stopped = begin([&](Completion c) { stream->stopCapture(c); });
  loop.advance(0.05);
  ASSERT_TRUE(stopped->has_value());
  EXPECT_EQ(stopped->value().message(), "Stop failed.");
  EXPECT_TRUE(stream->isRunning());  // a failed stop leaves the stream capturing
}

TEST_F(SimCaptureStreamTest, HangingStopKeepsTheStreamDelivering) {
  auto stream = makeStream(filter(true));
  auto started = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(0.05);
  desktop->captureScript().stop.hangs = true;
  auto stopped = begin([&](Completion c) { stream->stopCapture(c); });
  loop.advance(0.98);
  EXPECT_FALSE(stopped->has_value());
  EXPECT_EQ(samples.size(), 9u);
}

TEST_F(SimCaptureStreamTest, StalledStreamStaysRunningWithoutSamples) {
  auto stream = makeStream(filter(true));
  auto started = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(0.2);
  ASSERT_EQ(samples.size(), 1u);
  desktop->captureScript().stalled = true;
  loop.advance(2);
  EXPECT_EQ(samples.size(), 1u);
  EXPECT_TRUE(stream->isRunning());
  desktop->captureScript().stalled = false;
  loop.advance(0.1);
  EXPECT_EQ(samples.size(), 2u);
}

TEST_F(SimCaptureStreamTest, LateDeliveryArrivesAfterItsCaptureTimeEvenAfterTheStop) {
  desktop->captureScript().deliveryDelay = 0.5;
  auto stream = makeStream(filter(true));
  auto started = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(0.4);  // frames composed at 0.15, 0.25, 0.35; none arrived yet
  EXPECT_TRUE(samples.empty());
  auto stopped = begin([&](Completion c) { stream->stopCapture(c); });
  loop.advance(0.05);
  ASSERT_TRUE(stopped->has_value());
  loop.advance(1);
  ASSERT_EQ(samples.size(), 3u);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    EXPECT_NEAR(arrivals[i] - samples[i].presentationTime, 0.5, 1e-9);
  }
  EXPECT_GT(arrivals.back(), 1000.45);  // after the stop completed
}

TEST_F(SimCaptureStreamTest, SamplesCarryTheScriptedStatusPixelsAndValidity) {
  auto stream = makeStream(filter(true));
  auto started = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(0.05);
  desktop->captureScript().sampleStatus = FrameStatus::idle;
  desktop->captureScript().samplesWithoutPixels = true;
  loop.advance(0.1);
  desktop->captureScript().sampleStatus = FrameStatus::blank;
  desktop->captureScript().samplesWithoutPixels = false;
  desktop->captureScript().samplesInvalid = true;
  loop.advance(0.1);
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(samples[0].status, FrameStatus::idle);
  EXPECT_FALSE(samples[0].pixels);
  EXPECT_TRUE(samples[0].valid);
  EXPECT_EQ(samples[1].status, FrameStatus::blank);
  EXPECT_TRUE(samples[1].pixels);
  EXPECT_FALSE(samples[1].valid);
}

TEST_F(SimCaptureStreamTest, StopWithErrorRunsOnTheSampleQueueAndEndsDelivery) {
  auto stream = makeStream(filter(true));
  auto started = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(0.2);
  queue->hold();
  desktop->stopStreamsWithError("The capture stopped.");
  loop.runUntilIdle();
  EXPECT_TRUE(stopErrors.empty());  // waits for its queue
  queue->release();
  loop.advance(1);
  EXPECT_EQ(stopErrors, std::vector<std::string>{"The capture stopped."});
  EXPECT_EQ(samples.size(), 1u);
  EXPECT_FALSE(stream->isRunning());
}

TEST_F(SimCaptureStreamTest, DisconnectedDisplayStopsTheStreamWithAnError) {
  auto stream = makeStream(filter(true));
  auto started = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(0.2);
  ASSERT_TRUE(desktop->removeDisplay(1));
  loop.advance(0.1);
  EXPECT_EQ(stopErrors, std::vector<std::string>{"Display 1 is not connected."});
  EXPECT_EQ(samples.size(), 1u);

  auto restarted = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(0.05);
  ASSERT_TRUE(restarted->has_value());
  EXPECT_EQ(restarted->value().message(), "Display 1 is not connected.");
}

TEST_F(SimCaptureStreamTest, FilterUpdateAppliesWhenItCompletes) {
  auto stream = makeStream(filter(false));
  auto started = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(0.2);
  ASSERT_EQ(samples.size(), 1u);
  EXPECT_TRUE(showsVault(samples[0]));
  auto updated = begin([&](Completion c) { stream->updateContentFilter(filter(true), c); });
  loop.advance(0.1);
  ASSERT_TRUE(updated->has_value() && updated->value().ok());
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_FALSE(showsVault(samples[1]));
  EXPECT_EQ(desktop->captureCounters().filterUpdates, 1);
}

TEST_F(SimCaptureStreamTest, DelayedFilterKeepsTheOldFilterUntilItApplies) {
  desktop->captureScript().filterApplyDelay = 0.48;
  auto stream = makeStream(filter(false));
  auto started = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(0.05);
  auto updated = begin([&](Completion c) { stream->updateContentFilter(filter(true), c); });
  loop.advance(0.45);  // completed at 0.07, applies at 0.53; frames 0.15 .. 0.45 unfiltered
  ASSERT_TRUE(updated->has_value() && updated->value().ok());
  ASSERT_EQ(samples.size(), 4u);
  for (const auto& sample : samples) EXPECT_TRUE(showsVault(sample));
  loop.advance(0.1);
  ASSERT_EQ(samples.size(), 5u);
  EXPECT_FALSE(showsVault(samples.back()));
  EXPECT_TRUE(stream->filterInForce().excludesApplication("org.example.Vault", 0));
}

TEST_F(SimCaptureStreamTest, FilterThatNeverAppliesAndOlderRequestsNeverWin) {
  desktop->captureScript().filterNeverApplies = true;
  auto stream = makeStream(filter(false));
  auto started = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(0.05);
  auto updated = begin([&](Completion c) { stream->updateContentFilter(filter(true), c); });
  loop.advance(1);
  ASSERT_TRUE(updated->has_value() && updated->value().ok());
  EXPECT_TRUE(showsVault(samples.back()));

  // A slow request followed by a quick one: the slow one must not replace the newer filter.
  desktop->captureScript().filterNeverApplies = false;
  desktop->captureScript().filterApplyDelay = 0.5;
  auto slow = begin([&](Completion c) { stream->updateContentFilter(filter(false), c); });
  desktop->captureScript().filterApplyDelay = 0.01;
  auto quick = begin([&](Completion c) { stream->updateContentFilter(filter(true), c); });
  loop.advance(1);
  EXPECT_FALSE(showsVault(samples.back()));
  EXPECT_TRUE(stream->filterInForce().excludesApplication("org.example.Vault", 0));
}

TEST_F(SimCaptureStreamTest, ProcessOnlyMatchingShowsARelaunchedApplicationUntilRefiltered) {
  desktop->captureScript().applicationMatching = SimApplicationMatching::processOnly;
  ContentFilter oldInstance = filter(false);
  oldInstance.excludedApplications.push_back({"org.example.Vault", "Vault", vault});
  auto stream = makeStream(oldInstance);
  auto started = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(0.2);
  ASSERT_FALSE(showsVault(samples.back()));

  ASSERT_TRUE(desktop->quitApplication(vault));
  const auto relaunched = desktop->launchApplication({"org.example.Vault", "Vault"}).value();
  const auto newWindow =
      desktop->addWindow(relaunched, SimWindowSpec{Rect{{8, 8}, {16, 16}}}).value();
  loop.advance(0.1);
  EXPECT_TRUE(desktop->frameContainsWindow(*samples.back().pixels, newWindow));
  EXPECT_TRUE(desktop->frameIsUnfiltered(*samples.back().pixels, oldInstance));

  ContentFilter newInstance = filter(false);
  newInstance.excludedApplications.push_back({"org.example.Vault", "Vault", relaunched});
  auto updated = begin([&](Completion c) { stream->updateContentFilter(newInstance, c); });
  loop.advance(0.1);
  EXPECT_FALSE(desktop->frameContainsPixelsOf(*samples.back().pixels, "org.example.Vault"));
}

TEST_F(SimCaptureStreamTest, OnChangeTimingDeliversOnlyWhenTheContentChanged) {
  desktop->captureScript().frameTiming = SimFrameTiming::onChange;
  auto stream = makeStream(filter(true));
  auto started = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(1);
  EXPECT_EQ(samples.size(), 1u);
  ASSERT_TRUE(desktop->moveWindow(editorWindow, Point{4, 4}));
  loop.advance(1);
  EXPECT_EQ(samples.size(), 2u);
  auto updated = begin([&](Completion c) { stream->updateContentFilter(filter(false), c); });
  loop.advance(1);
  EXPECT_EQ(samples.size(), 3u);
  EXPECT_TRUE(showsVault(samples.back()));
}

TEST_F(SimCaptureStreamTest, ConfigurationUpdateChangesSizeAndCadence) {
  auto stream = makeStream(filter(true));
  auto started = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(0.2);
  StreamConfiguration smaller = configuration;
  smaller.width = 32;
  smaller.height = 18;
  smaller.minimumFrameInterval = 0.5;
  auto updated = begin([&](Completion c) { stream->updateConfiguration(smaller, c); });
  loop.advance(0.02);
  ASSERT_TRUE(updated->has_value() && updated->value().ok());
  samples.clear();
  loop.advance(2);
  ASSERT_GE(samples.size(), 3u);
  ASSERT_LE(samples.size(), 5u);
  EXPECT_EQ(samples.back().pixels->width(), 32);
  EXPECT_EQ(desktop->captureCounters().configurationUpdates, 1);
}

TEST_F(SimCaptureStreamTest, DeniedPermissionFailsEveryCaptureRequestWithTheReason) {
  desktop->setScreenCaptureAllowed(false, "Capture is off.");
  auto stream = makeStream(filter(true));
  auto started = begin([&](Completion c) { stream->startCapture(c); });
  std::optional<runtime::Result<ShareableContent>> content;
  desktop->shareableContent([&](runtime::Result<ShareableContent> r) { content = std::move(r); });
  std::optional<runtime::Result<SharedPixelBuffer>> image;
  desktop->captureImage(filter(true), configuration,
                        [&](runtime::Result<SharedPixelBuffer> r) { image = std::move(r); });
  loop.advance(1);
  ASSERT_TRUE(started->has_value() && content && image);
  EXPECT_EQ(started->value().message(), "Capture is off.");
  EXPECT_EQ(content->message(), "Capture is off.");
  EXPECT_EQ(image->message(), "Capture is off.");
  EXPECT_EQ(desktop->screenCaptureDenialReason(), "Capture is off.");
}

TEST_F(SimCaptureStreamTest, ScreenshotIsTheSameFilteredComposition) {
  std::optional<runtime::Result<SharedPixelBuffer>> image;
  desktop->captureImage(filter(true), configuration,
                        [&](runtime::Result<SharedPixelBuffer> r) { image = std::move(r); });
  loop.advance(0.02);
  EXPECT_FALSE(image.has_value());
  loop.advance(0.01);
  ASSERT_TRUE(image && image->ok());
  EXPECT_FALSE(desktop->frameContainsWindow(*image->value(), vaultWindow));
  EXPECT_TRUE(desktop->frameContainsWindow(*image->value(), editorWindow));
  EXPECT_EQ(desktop->captureCounters().screenshots, 1);
}

TEST_F(SimCaptureStreamTest, ShareableContentListsDisplaysApplicationsAndWindows) {
  desktop->captureScript().shareableContent.latency = 0.2;
  ASSERT_TRUE(desktop->hide(vault));
  std::optional<runtime::Result<ShareableContent>> content;
  desktop->shareableContent([&](runtime::Result<ShareableContent> r) { content = std::move(r); });
  loop.advance(0.19);
  EXPECT_FALSE(content.has_value());
  loop.advance(0.01);
  ASSERT_TRUE(content && content->ok());
  const ShareableContent& c = content->value();
  ASSERT_EQ(c.displays.size(), 1u);
  EXPECT_EQ(c.displays[0].pixelWidth, 64);
  EXPECT_EQ(c.applications.size(), 2u);
  ASSERT_EQ(c.windows.size(), 2u);
  EXPECT_EQ(c.windows[0].windowID, vaultWindow);  // topmost first
  EXPECT_FALSE(c.windows[0].isOnScreen);
  EXPECT_EQ(c.windows[0].owningApplication->bundleIdentifier, "org.example.Vault");
  EXPECT_TRUE(c.windows[1].isOnScreen);
}

TEST_F(SimCaptureStreamTest, OperationsWithoutACompletionStillTakeEffect) {
  auto stream = makeStream(filter(false));
  stream->startCapture(nullptr);
  stream->updateContentFilter(filter(true), nullptr);
  loop.advance(0.2);
  EXPECT_TRUE(stream->isRunning());
  ASSERT_EQ(samples.size(), 1u);
  EXPECT_FALSE(showsVault(samples[0]));
  stream->stopCapture(nullptr);
  loop.advance(0.1);
  EXPECT_FALSE(stream->isRunning());
}

TEST_F(SimCaptureStreamTest, ReleasedStreamStopsComposing) {
  auto stream = makeStream(filter(true));
  auto started = begin([&](Completion c) { stream->startCapture(c); });
  loop.advance(0.2);
  EXPECT_EQ(desktop->liveStreams().size(), 1u);
  stream.reset();
  loop.advance(1);
  EXPECT_EQ(samples.size(), 1u);
  EXPECT_TRUE(desktop->liveStreams().empty());
}

}  // namespace
}  // namespace corvane::platform::sim
