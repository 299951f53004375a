#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "capture/latest_captured_frame_mailbox.h"
#include "capture/protected_capture_callback_monitor.h"
#include "capture/protected_captured_frame.h"
#include "capture/protected_frame_cadence_gate.h"
#include "capture/protected_frame_delivery_state.h"
#include "capture/protected_frame_intake.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::capture {
namespace {

ProtectedCapturedFrame frameAt(double seconds) {
  return ProtectedCapturedFrame::make(std::make_shared<platform::PixelBuffer>(2, 2), seconds, 0);
}

TEST(ProtectedCapturedFrameTest, SequenceIsTheTimestampInMicrosecondsWithUptimeFallback) {
  EXPECT_EQ(frameAt(1.5).sequence, 1'500'000u);
  auto invalid = ProtectedCapturedFrame::make(nullptr, std::nan(""), 42.25);
  EXPECT_EQ(invalid.timestamp, 42.25);
  EXPECT_EQ(invalid.sequence, 42'250'000u);
  EXPECT_EQ(ProtectedCapturedFrame::make(nullptr, -3, 7).sequence, 7'000'000u);
  EXPECT_EQ(
      ProtectedCapturedFrame::make(nullptr, std::numeric_limits<double>::infinity(), 0).sequence,
      0u);
}

TEST(LatestCapturedFrameMailboxTest, NewestFrameOfTheActiveGenerationWins) {
  LatestCapturedFrameMailbox mailbox;
  mailbox.reset(3);
  EXPECT_FALSE(mailbox.offer(frameAt(1.0), 2)) << "another generation";
  EXPECT_TRUE(mailbox.offer(frameAt(1.0), 3)) << "the first offer schedules the drain";
  EXPECT_FALSE(mailbox.offer(frameAt(2.0), 3)) << "a drain is already scheduled";
  EXPECT_FALSE(mailbox.offer(frameAt(1.5), 3)) << "older than the highest sequence";
  EXPECT_FALSE(mailbox.offer(frameAt(2.0), 3)) << "not above the highest sequence";

  auto entry = mailbox.take();
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->frame.sequence, 2'000'000u);
  EXPECT_EQ(entry->generation, 3u);
  EXPECT_TRUE(mailbox.isDrainScheduled());
  EXPECT_FALSE(mailbox.take());
  EXPECT_FALSE(mailbox.isDrainScheduled()) << "an empty take ends the drain";
  EXPECT_TRUE(mailbox.offer(frameAt(3.0), 3));
}

TEST(LatestCapturedFrameMailboxTest, ResetDropsTheEntryAndRestartsSequencesButKeepsTheDrainFlag) {
  LatestCapturedFrameMailbox mailbox;
  ASSERT_TRUE(mailbox.offer(frameAt(5.0), 0));
  mailbox.reset(1);
  EXPECT_FALSE(mailbox.hasPendingEntry());
  EXPECT_EQ(mailbox.highestSequence(), 0u);
  EXPECT_TRUE(mailbox.isDrainScheduled());
  EXPECT_FALSE(mailbox.offer(frameAt(1.0), 1)) << "the running drain picks it up";
  EXPECT_TRUE(mailbox.hasPendingEntry());
  mailbox.discardPending();
  EXPECT_FALSE(mailbox.take());
  EXPECT_FALSE(mailbox.offer(frameAt(0.5), 1)) << "sequences keep rising after a discard";
}

TEST(ProtectedFrameCadenceGateTest, AtMostSixtyFramesASecond) {
  ProtectedFrameCadenceGate gate;
  const double start = 1000.0;
  std::vector<double> accepted;
  // A 240 fps source for ten seconds.
  for (int i = 0; i < 2400; ++i) {
    const double now = start + i / 240.0;
    if (gate.accept(1, now)) accepted.push_back(now);
  }
  EXPECT_GE(accepted.size(), 599u);
  EXPECT_LE(accepted.size(), 601u) << "60 a second, and at most one more over any stretch";
  for (std::size_t first = 0; first < accepted.size(); ++first) {
    std::size_t inWindow = 0;
    for (std::size_t j = first; j < accepted.size() && accepted[j] < accepted[first] + 1.0; ++j)
      ++inWindow;
    ASSERT_LE(inWindow, 61u) << "window starting at frame " << first;
  }
  for (std::size_t j = 1; j < accepted.size(); ++j)
    ASSERT_GE(accepted[j] - accepted[j - 1], 1.0 / 120.0 - 1e-9);
}

TEST(ProtectedFrameCadenceGateTest, AJitteryFullRateSourceIsNotHalved) {
  ProtectedFrameCadenceGate gate;
  int accepted = 0;
  for (int i = 0; i < 600; ++i) {
    const double jitter = (i % 2 == 0 ? -0.0004 : 0.0004);
    accepted += gate.accept(1, 1000.0 + i / 60.0 + (i == 0 ? 0 : jitter)) ? 1 : 0;
  }
  EXPECT_GE(accepted, 590);
  EXPECT_LE(accepted, 600);
}

TEST(ProtectedFrameCadenceGateTest, ANewGenerationIsAcceptedAtOnce) {
  ProtectedFrameCadenceGate gate;
  EXPECT_TRUE(gate.accept(1, 10.0));
  EXPECT_FALSE(gate.accept(1, 10.005));
  EXPECT_FALSE(gate.accept(1, 10.008));
  EXPECT_TRUE(gate.accept(2, 10.012));
  EXPECT_EQ(gate.activeGeneration(), 2u);
  EXPECT_FALSE(gate.accept(2, 10.020));
  EXPECT_TRUE(gate.accept(2, 10.012 + 1.0 / 60.0));
}

// A source that sends a frame per change: the last frame of a burst comes too soon after the one
// before for the cadence, and nothing follows it.
TEST(ProtectedFrameIntakeTest, TheLastFrameOfABurstPassesInTheNextSlotUnlessANewerOnePassed) {
  runtime::VirtualRunLoop loop;
  ProtectedFrameIntake::Records records;
  records.deliveryState = std::make_shared<ProtectedFrameDeliveryState>();
  records.mailbox = std::make_shared<LatestCapturedFrameMailbox>();
  records.cadenceGate = std::make_shared<ProtectedFrameCadenceGate>(1.0 / 30.0);
  records.callbackMonitor = std::make_shared<ProtectedCaptureCallbackMonitor>();
  ProtectedFrameDeliveryState::Configuration configuration;
  configuration.generation = 1;
  configuration.isAcceptingFrames = true;
  records.deliveryState->update(configuration, true);
  records.mailbox->reset(1);
  auto intake = std::make_shared<ProtectedFrameIntake>(records);
  std::vector<std::uint64_t> passed;
  intake->setFrameSink([&](ProtectedCapturedFrame frame, std::uint64_t, std::uint64_t) {
    passed.push_back(frame.sequence);
  });
  int retries = 0;
  ProtectedFrameIntake::Handlers handlers;
  handlers.cadenceRetryDue = [&](double delay) {
    ++retries;
    loop.postAfter(delay, [intake] { intake->drainHeldFrame(); });
  };
  intake->setHandlers(handlers);
  auto offerNow = [&] { intake->offer(frameAt(loop.uptime()), 1); };

  offerNow();
  loop.advance(0.010);
  offerNow();  // refused: 10 ms after the last
  loop.advance(0.005);
  offerNow();  // refused too, and newer: it is the one that waits
  EXPECT_EQ(passed.size(), 1u);
  loop.advance(0.1);
  ASSERT_EQ(passed.size(), 2u);
  EXPECT_EQ(passed[1], frameAt(loop.uptime() - 0.1).sequence);
  EXPECT_EQ(retries, 1) << "one retry for the burst";

  // A newer frame passes before the retry: the refused one is not passed after it.
  configuration.generation = 2;
  records.deliveryState->update(configuration, false);
  records.mailbox->reset(2);
  auto offerInTwo = [&] { intake->offer(frameAt(loop.uptime()), 2); };
  offerInTwo();
  loop.advance(0.010);
  offerInTwo();  // refused
  loop.advance(0.020);
  offerInTwo();  // the next slot: passes
  const auto newest = frameAt(loop.uptime()).sequence;
  loop.advance(0.1);
  ASSERT_EQ(passed.size(), 4u);
  EXPECT_EQ(passed[3], newest);
}

TEST(ProtectedFrameDeliveryStateTest, ConfigurationAdmitsByGenerationTimestampAndPause) {
  ProtectedFrameDeliveryState::Configuration configuration;
  configuration.generation = 4;
  configuration.sourceContextGeneration = 2;
  EXPECT_FALSE(configuration.admits(4, 10)) << "not accepting";
  configuration.isAcceptingFrames = true;
  EXPECT_TRUE(configuration.admits(4, 10));
  EXPECT_FALSE(configuration.admits(3, 10));
  configuration.minimumTimestamp = 12.0;
  EXPECT_FALSE(configuration.admits(4, 11.99));
  EXPECT_TRUE(configuration.admits(4, 12.0));
  EXPECT_TRUE(configuration.admitsPublication(4, 2, 12.5));
  EXPECT_FALSE(configuration.admitsPublication(4, 1, 12.5)) << "another desktop context";
  configuration.isPaused = true;
  EXPECT_TRUE(configuration.admits(4, 12.5));
  EXPECT_FALSE(configuration.admitsPublication(4, 2, 12.5));
}

TEST(ProtectedFrameDeliveryStateTest, ReportsComeForTheFirstFramesThenEveryQuarterSecond) {
  runtime::VirtualRunLoop loop;
  ProtectedFrameDeliveryState state;
  EXPECT_FALSE(state.takeReport(0)) << "nothing counted";
  EXPECT_TRUE(state.recordAcceptedFrame(loop.now(), 100.0));
  EXPECT_FALSE(state.recordAcceptedFrame(loop.now(), 100.01)) << "one is already scheduled";
  auto report = state.takeReport(100.02);
  ASSERT_TRUE(report);
  EXPECT_EQ(report->acceptedFrameCount, 2);
  EXPECT_FALSE(state.takeReport(100.02));

  EXPECT_FALSE(state.recordAcceptedFrame(loop.now(), 100.10)) << "third frame, too soon";
  EXPECT_TRUE(state.recordAcceptedFrame(loop.now(), 100.27));
  EXPECT_EQ(state.takeReport(100.27)->acceptedFrameCount, 4);

  state.update({}, true);
  EXPECT_EQ(state.acceptedFrameCount(), 0);
  EXPECT_FALSE(state.isReportScheduled());
  EXPECT_TRUE(state.recordAcceptedFrame(loop.now(), 100.28)) << "a reset count reports again";
}

TEST(ProtectedCaptureCallbackMonitorTest, CountsEveryOutcomeAndReportsAtMostEveryTwoSeconds) {
  using Outcome = ProtectedCaptureCallbackMonitor::Outcome;
  ProtectedCaptureCallbackMonitor monitor;
  auto first = monitor.record(Outcome::pixels, 10.0);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->pixels, 1);
  EXPECT_EQ(monitor.lastPixelTime(), 10.0);
  EXPECT_FALSE(monitor.record(Outcome::staleStream, 10.5));
  EXPECT_FALSE(monitor.record(Outcome::invalidSample, 11.0));
  EXPECT_FALSE(monitor.record(Outcome::missingPixelBuffer, 11.9));
  EXPECT_EQ(monitor.lastPixelTime(), 10.0);
  auto second = monitor.record(Outcome::pixels, 12.0);
  ASSERT_TRUE(second);
  EXPECT_EQ(*second, (ProtectedCaptureCallbackMonitor::Counts{5, 2, 1, 1, 1}));
  monitor.setLastPixelTime(20.0);
  EXPECT_EQ(monitor.lastPixelTime(), 20.0);
}

}  // namespace
}  // namespace corvane::capture
