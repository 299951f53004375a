#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "capture/protected_frame_intake.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::capture {
namespace {

// The hand-off records on real threads: a samples thread feeds frames while the main thread
// changes the delivery configuration, and the relay writes on a thread of its own. Whatever the
// interleaving, the output's sequence only rises and no frame of a retired generation or a
// paused configuration is written after the change was installed and the relay drained.
TEST(PipelineThreadsTest, RecordsStayConsistentAcrossThreads) {
  runtime::VirtualRunLoop loop;  // the main actor for the surface's redraw requests
  auto surface = std::make_shared<ProtectedOutputSurface>();
  auto relayQueue = std::make_shared<runtime::ThreadSerialQueue>("relay");
  ProtectedFrameIntake::Records records;
  records.deliveryState = std::make_shared<ProtectedFrameDeliveryState>();
  records.mailbox = std::make_shared<LatestCapturedFrameMailbox>();
  records.cadenceGate = std::make_shared<ProtectedFrameCadenceGate>(0.0001);
  records.callbackMonitor = std::make_shared<ProtectedCaptureCallbackMonitor>();
  records.relay = ProtectedFrameRelay::make(surface, records.deliveryState, relayQueue);
  auto intake = std::make_shared<ProtectedFrameIntake>(records);

  std::mutex publishedMutex;
  std::vector<std::uint64_t> sequences;
  auto observer = surface->observeUpdates([&](const ProtectedOutputSurface::Snapshot& snapshot) {
    std::lock_guard lock(publishedMutex);
    sequences.push_back(snapshot.sequence);
  });

  ProtectedFrameDeliveryState::Configuration configuration;
  configuration.generation = 1;
  configuration.streamIdentity = 1;
  configuration.isAcceptingFrames = true;
  records.deliveryState->update(configuration, true);
  records.mailbox->reset(1);

  std::atomic<std::uint64_t> nextSequence{1};
  std::atomic<bool> running{true};
  auto pixels = std::make_shared<platform::PixelBuffer>(4, 4);
  std::thread samples([&] {
    while (running.load()) {
      const auto generation = records.deliveryState->configuration().generation;
      ProtectedCapturedFrame frame;
      frame.pixelBuffer = pixels;
      frame.sequence = nextSequence.fetch_add(1);
      frame.timestamp = frame.sequence / 1'000'000.0;
      intake->offer(frame, generation);
    }
  });

  for (int round = 0; round < 200; ++round) {
    configuration.isPaused = round % 3 == 0;
    if (round % 5 == 0) {
      ++configuration.generation;
      records.mailbox->reset(configuration.generation);
    }
    records.deliveryState->update(configuration, false);
    // Let the samples thread offer a few frames under this configuration.
    const auto offered = nextSequence.load();
    while (nextSequence.load() < offered + 5) std::this_thread::yield();
    relayQueue->runSync([] {});
    if (configuration.isPaused) {
      // Paused and drained: nothing more may be written until the next change.
      std::size_t before = 0;
      {
        std::lock_guard lock(publishedMutex);
        before = sequences.size();
      }
      relayQueue->runSync([] {});
      std::lock_guard lock(publishedMutex);
      EXPECT_EQ(sequences.size(), before) << "round " << round;
    }
  }
  running.store(false);
  samples.join();
  relayQueue->runSync([] {});
  observer.cancel();

  std::lock_guard lock(publishedMutex);
  // The virtual clock stands still, so the cadence gate passes the first frame of each
  // generation: at least one for every generation that was not paused throughout.
  EXPECT_GE(sequences.size(), 10u);
  for (std::size_t i = 1; i < sequences.size(); ++i) ASSERT_GT(sequences[i], sequences[i - 1]);
}

// A stop on the main thread while the relay writes on its own: whatever the interleaving, once the
// stop retired the generation and cleared the output, and the relay drained, the output is empty.
TEST(PipelineThreadsTest, NoFrameLandsAfterAStopsClear) {
  runtime::VirtualRunLoop loop;
  auto surface = std::make_shared<ProtectedOutputSurface>();
  auto relayQueue = std::make_shared<runtime::ThreadSerialQueue>("relay");
  auto deliveryState = std::make_shared<ProtectedFrameDeliveryState>();
  auto relay = ProtectedFrameRelay::make(surface, deliveryState, relayQueue);
  std::atomic<std::uint64_t> written{0};
  relay->setPublishedHandler([&](const ProtectedRelayedFrame&) { written.fetch_add(1); });

  ProtectedFrameDeliveryState::Configuration configuration;
  configuration.streamIdentity = 1;
  std::atomic<std::uint64_t> nextSequence{1};
  std::atomic<bool> running{true};
  auto pixels = std::make_shared<platform::PixelBuffer>(4, 4);
  std::thread samples([&] {
    while (running.load()) {
      ProtectedCapturedFrame frame;
      frame.pixelBuffer = pixels;
      frame.sequence = nextSequence.fetch_add(1);
      relay->publish(frame, deliveryState->configuration().generation, 0);
      if (frame.sequence % 64 == 0) relayQueue->runSync([] {});  // keep the queue short
    }
  });

  for (int round = 0; round < 2000; ++round) {
    ++configuration.generation;
    configuration.isAcceptingFrames = true;
    deliveryState->update(configuration, false);
    const auto before = written.load();
    while (written.load() < before + 2) std::this_thread::yield();
    // The engine's stop: a new generation that accepts nothing, then the clear.
    ++configuration.generation;
    configuration.isAcceptingFrames = false;
    deliveryState->update(configuration, false);
    surface->refuseGenerationsBelow(configuration.generation);
    surface->clear();
    relayQueue->runSync([] {});
    ASSERT_FALSE(surface->snapshot()) << "round " << round;
  }
  running.store(false);
  samples.join();
  relayQueue->runSync([] {});
}

}  // namespace
}  // namespace corvane::capture
