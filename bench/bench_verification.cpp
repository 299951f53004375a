// The verification core's per-frame work against one copy of the same frame, measured like for
// like (like_for_like.h): blocks of the work and blocks of the copy interleave in the same run.
// The goals are in goals.txt.

#include <benchmark/benchmark.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "like_for_like.h"
#include "verification/frame_change_detector.h"
#include "verification/frame_images.h"
#include "verification/protected_analysis_image_policy.h"
#include "verification/protected_gpu_compositor.h"
#include "verification/protected_scroll_motion_estimator.h"

namespace {

using namespace corvane;
using namespace corvane::verification;

constexpr int kUnitsPerBlock = 6;

// Runs `work` as the benchmark's unit, each unit followed in turn by a block of `reference`, named
// `referenceName` in the counters.
template <typename Work>
void measureAgainst(benchmark::State& state, const std::string& referenceName,
                    std::function<void()> reference, Work work) {
  bench::LikeForLikeRatio ratio(state, referenceName, std::move(reference), kUnitsPerBlock);
  for (auto _ : state) {
    work();
    ratio.unitDone();
  }
  ratio.report("frame");
}

// Runs `work` as the benchmark's unit, each unit followed in turn by a block of `copy`.
template <typename Work>
void measureAgainstCopy(benchmark::State& state, bench::FrameCopy& copy, Work work) {
  measureAgainst(
      state, "memcpy", [&] { copy.once(); }, work);
}

// args: width, height, threads, kernel (1 = AVX2, 0 = scalar)
// An unchanged frame is read whole beside the frame before it: twice the bytes a copy of one frame
// reads. So the detection is measured against reading both frames (memcmp, the least a comparison
// reads) on the same workers in the same slices (ratio_to_read_both).
void BM_DetectChangedTilesUnchanged(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const int threads = static_cast<int>(state.range(2));
  const auto kernel = state.range(3) == 1 ? TileKernel::avx2 : TileKernel::scalar;
  auto workers = std::make_shared<runtime::WorkerThreads>(threads);
  auto detector = FrameChangeDetector::make(64, workers, kernel);
  if (!detector) {
    state.SkipWithError("this CPU cannot run the kernel");
    return;
  }
  // Each frame compared is a buffer of its own, as captured frames are (the same pair over and
  // over would stay in the cache), and the references read those very frames, spread over the
  // same workers in as many slices as the frame has rows of tiles.
  auto previous = testing::texturedFrame(width, height);
  std::vector<std::shared_ptr<platform::PixelBuffer>> frames;
  for (int i = 0; i < 3; ++i) frames.push_back(testing::copyOf(*previous));
  bench::FramePairRead both({{frames[0]->data(), previous->data()},
                             {frames[1]->data(), previous->data()},
                             {frames[2]->data(), previous->data()}},
                            previous->byteCount());
  both.spreadOver((height + 63) / 64, [&](int count, const std::function<void(int)>& body) {
    workers->forEach(count, body);
  });
  std::size_t next = 0;
  measureAgainst(
      state, "read_both", [&] { both.once(); },
      [&] {
        const auto summary = detector->detect(*frames[next++ % frames.size()], previous.get());
        if (summary.guardedTileCount != 0) throw std::runtime_error("an unchanged frame changed");
        benchmark::DoNotOptimize(summary);
      });
}

void BM_ScrollEstimate(benchmark::State& state) {
  auto previous = testing::texturedFrame(3840, 2160);
  auto current = testing::scrolled(*previous, 45);
  const std::vector<platform::Rect> everywhere{kUnitRect};
  bench::FrameCopy copy({current->data()}, current->byteCount(), 2);
  measureAgainstCopy(state, copy, [&] {
    const auto shift =
        ProtectedScrollMotionEstimator::verticalTranslation(*current, *previous, 1.0, everywhere);
    if (shift != 45) throw std::runtime_error("the scroll was not found");
    benchmark::DoNotOptimize(shift);
  });
}

std::vector<model::ProtectedRedaction> twentyMasks() {
  std::vector<model::ProtectedRedaction> redactions;
  for (int i = 0; i < 20; ++i) {
    model::ProtectedRedaction redaction;
    redaction.normalizedFrame = {{0.05 + (i % 4) * 0.23, 0.04 + (i / 4) * 0.19},
                                 {0.15 + (i % 3) * 0.02, 0.03 + (i % 5) * 0.02}};
    redaction.scope = i % 7 == 6 ? model::ProtectedRedactionScope::unverifiedChange
                                 : model::ProtectedRedactionScope::sensitiveText;
    redactions.push_back(redaction);
  }
  return redactions;
}

void BM_RedactedImage(benchmark::State& state) {
  platform::SharedPixelBuffer frame = testing::texturedFrame(3840, 2160);
  const auto redactions = twentyMasks();
  bench::FrameCopy copy({frame->data()}, frame->byteCount(), 2);
  measureAgainstCopy(state, copy, [&] {
    benchmark::DoNotOptimize(ProtectedGPUCompositor::redactedImage(frame, redactions, true));
  });
}

// A 40-pixel scroll over most of the frame, with twenty verified covers.
void BM_GuardedImage(benchmark::State& state) {
  auto verifiedSource = testing::texturedFrame(3840, 2160);
  const auto redactions = twentyMasks();
  const auto verified = ProtectedGPUCompositor::redactedImage(verifiedSource, redactions, true);
  platform::SharedPixelBuffer candidate = testing::scrolled(*verifiedSource, 40);
  const std::vector<platform::Rect> changed{{{0, 0.1}, {1, 0.8}}};
  bench::FrameCopy copy({candidate->data()}, candidate->byteCount(), 2);
  measureAgainstCopy(state, copy, [&] {
    benchmark::DoNotOptimize(
        ProtectedGPUCompositor::guardedImage(candidate, verified, redactions, changed, 40));
  });
}

void BM_AnalysisImage(benchmark::State& state) {
  platform::SharedPixelBuffer frame = testing::texturedFrame(3840, 2160);
  bench::FrameCopy copy({frame->data()}, frame->byteCount(), 2);
  measureAgainstCopy(state, copy, [&] {
    benchmark::DoNotOptimize(ProtectedAnalysisImagePolicy::limitedToLongEdge(frame, 1536));
  });
}

}  // namespace

BENCHMARK(BM_DetectChangedTilesUnchanged)
    ->Args({3840, 2160, 4, 1})
    ->Args({1920, 1080, 4, 1})
    ->Args({3840, 2160, 1, 1})
    ->Args({1920, 1080, 1, 1})
    ->Args({3840, 2160, 4, 0})
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScrollEstimate)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RedactedImage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GuardedImage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AnalysisImage)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
