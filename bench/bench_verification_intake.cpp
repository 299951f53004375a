// The verification capture's per-frame intake: stream sample → callback accounting → mailbox →
// delivery configuration → cadence gate → pointer and analysis interval → the frame pipeline's
// ingest, where the pipeline decides whether it takes the frame. Change detection and analysis
// run later on the pipeline's own queue and are left out (held here).
//
// The frame is handed on, never copied: the path must cost a small fraction of one copy of the
// frame (ratio_to_memcpy), and its time per frame (frame_us) stays far below the 2 ms budget
// whatever the frame size.

#include <benchmark/benchmark.h>

#include <memory>

#include "capture/latest_captured_frame_mailbox.h"
#include "capture/protected_capture_callback_monitor.h"
#include "capture/protected_frame_cadence_gate.h"
#include "capture/protected_frame_delivery_state.h"
#include "capture/protected_frame_intake.h"
#include "capture/protected_output_surface.h"
#include "like_for_like.h"
#include "platform/sim/sim_desktop.h"
#include "runtime/virtual_run_loop.h"
#include "verification/legacy_source_protection_engine.h"
#include "verification/pipeline_frame_sink.h"

namespace {

using namespace corvane;

// The intake as the verification engine wires it, on a virtual clock that moves one cadence
// interval per frame so every frame is admitted and reaches the pipeline.
struct VerificationIntake {
  runtime::VirtualRunLoop loop;
  std::shared_ptr<runtime::VirtualSerialQueue> framesQueue = loop.makeQueue("frames");
  std::shared_ptr<platform::sim::SimDesktop> desktop = platform::sim::SimDesktop::make();
  std::shared_ptr<capture::ProtectedOutputSurface> surface =
      std::make_shared<capture::ProtectedOutputSurface>();
  std::shared_ptr<verification::ProtectedFramePipeline> pipeline;
  std::shared_ptr<capture::ProtectedFrameIntake> intake;

  VerificationIntake() {
    framesQueue->hold();
    pipeline = verification::ProtectedFramePipeline::make(
        surface, nullptr, {}, [](auto) {}, nullptr, framesQueue);
    pipeline->reset(1, 0);
    capture::ProtectedFrameIntake::Records records;
    records.deliveryState = std::make_shared<capture::ProtectedFrameDeliveryState>();
    records.mailbox = std::make_shared<capture::LatestCapturedFrameMailbox>();
    records.cadenceGate = std::make_shared<capture::ProtectedFrameCadenceGate>(
        verification::LegacySourceProtectionEngine::kFrameCadenceInterval);
    records.callbackMonitor = std::make_shared<capture::ProtectedCaptureCallbackMonitor>();
    capture::ProtectedFrameDeliveryState::Configuration configuration;
    configuration.generation = 1;
    configuration.streamIdentity = 1;
    configuration.isAcceptingFrames = true;
    configuration.minimumAnalysisInterval = 0.45;
    configuration.displayFrame = platform::Rect{{0, 0}, {1920, 1080}};
    records.deliveryState->update(configuration, true);
    records.mailbox->reset(1);
    auto deliveryState = records.deliveryState;
    intake = std::make_shared<capture::ProtectedFrameIntake>(std::move(records));
    intake->setFrameSink(
        verification::pipelineFrameSink(surface, pipeline, deliveryState, desktop, desktop));
  }

  void deliver(const platform::SharedPixelBuffer& pixels) {
    platform::CapturedSample sample;
    sample.pixels = pixels;
    sample.presentationTime = loop.uptime();
    intake->handleSample(sample, 1);
    loop.advance(verification::LegacySourceProtectionEngine::kFrameCadenceInterval);
  }
};

void BM_VerificationIntakeToPipeline(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  VerificationIntake path;
  auto frame = std::make_shared<platform::PixelBuffer>(width, height);
  frame->fill(0xFF808080);
  platform::SharedPixelBuffer pixels = frame;
  bench::FrameCopy copy({frame->data()}, frame->byteCount());
  bench::LikeForLikeRatio ratio(
      state, "memcpy", [&] { copy.once(); }, 1024, 1);
  for (auto _ : state) {
    path.deliver(pixels);
    ratio.unitDone();
  }
  // Every frame reached the pipeline without a copy: its waiting request holds this very buffer.
  if (pixels.use_count() < 2) state.SkipWithError("the pipeline holds no reference to the frame");
  ratio.report("frame");
}
BENCHMARK(BM_VerificationIntakeToPipeline)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
