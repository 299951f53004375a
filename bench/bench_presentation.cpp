// The output window's presentation of a new 1920×1080 snapshot: from the surface's update to the
// frame drawn by the canvas (Qt offscreen platform), per frame and as a like-for-like ratio to one
// memcpy of the same frame (like_for_like.h); the goal is 2 or below at actual size and fitted.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <memory>
#include <vector>

#include "capture/protected_output_surface.h"
#include "like_for_like.h"
#include "runtime/runtime.h"
#include "share_window/viewport_state.h"
#include "ui/protected_share_canvas.h"
#include "ui/qt_main_executor.h"

namespace {

using corvane::capture::ProtectedOutputSurface;
using corvane::platform::PixelBuffer;
using corvane::platform::SharedPixelBuffer;
using corvane::share_window::ProtectedShareSizingMode;
using corvane::share_window::ProtectedShareViewportState;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFramesPerBlock = 8;

std::vector<SharedPixelBuffer> makeFrames() {
  std::vector<SharedPixelBuffer> frames;
  for (std::uint32_t colour : {0xFF204060u, 0xFF604020u}) {
    auto buffer = std::make_shared<PixelBuffer>(kWidth, kHeight);
    buffer->fill(colour);
    for (int y = 0; y < kHeight; y += 7) buffer->setPixel((y * 13) % kWidth, y, 0xFFFFFFFF);
    frames.push_back(buffer);
  }
  return frames;
}

// The ratios' reference on its own: a copy of each of the two frames in turn, as the
// presentation benchmarks draw them (so not from a buffer that stays in the cache).
void BM_MemcpyFrame(benchmark::State& state) {
  const auto frames = makeFrames();
  corvane::bench::FrameCopy copy({frames[1]->data(), frames[0]->data()}, frames[0]->byteCount());
  for (auto _ : state) copy.once();
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(copy.bytes()));
}

// Surface update → coalesced redraw on the main actor → canvas paint → presentation reported.
void presentFrames(benchmark::State& state, QSize canvasSize, ProtectedShareSizingMode mode) {
  corvane::ui::QtMainExecutor executor;
  corvane::runtime::ScopedRuntime runtime(
      corvane::runtime::RuntimeServices{&executor, corvane::runtime::threadQueueFactory()});
  auto surface = std::make_shared<ProtectedOutputSurface>();
  corvane::ui::ProtectedShareCanvas canvas(surface);
  canvas.resize(canvasSize);
  ProtectedShareViewportState viewport;
  viewport.sizingMode = mode;
  viewport.pixelSize = {kWidth, kHeight};
  canvas.setViewport(viewport);
  canvas.setDrawsOutput(true);
  canvas.show();
  QApplication::processEvents();

  const auto frames = makeFrames();
  // The reference copies the very frames the canvas draws, in the same turn.
  corvane::bench::FrameCopy copy({frames[1]->data(), frames[0]->data()}, frames[0]->byteCount());
  corvane::bench::LikeForLikeRatio ratio(
      state, "memcpy", [&] { copy.once(); }, kFramesPerBlock);
  std::uint64_t sequence = 1;
  for (auto _ : state) {
    surface->update(frames[sequence % frames.size()], sequence);
    ++sequence;
    const auto revision = surface->revision();
    while (canvas.lastPresentedRevision() != revision) {
      QApplication::processEvents(QEventLoop::AllEvents);
    }
    ratio.unitDone();
  }
  ratio.report("frame");
  state.counters["presented"] = surface->presentationStats().completedFrames;
}

void BM_PresentActualSize1080p(benchmark::State& state) {
  presentFrames(state, QSize(kWidth, kHeight), ProtectedShareSizingMode::actual);
}

void BM_PresentFit1080pInto1280x720(benchmark::State& state) {
  presentFrames(state, QSize(1280, 720), ProtectedShareSizingMode::fit);
}

BENCHMARK(BM_MemcpyFrame)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PresentActualSize1080p)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PresentFit1080pInto1280x720)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
