// The capture check of source masks on a 1080p frame, reading the frame where it lies:
//
// - BM_VerifySourceMasks/N: N masks drawn in the frame (each with its lock), all checked
//   (mask_us per mask, and ratio_to_memcpy of the whole check against one copy of the frame,
//   which shows the frame is not copied; mask_ratio_to_memcpy, each mask's share of it).

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "like_for_like.h"
#include "verification/source_overlay_capture_verifier.h"

namespace {

using namespace corvane;
using platform::PixelBuffer;
using platform::Rect;

void paint(PixelBuffer& frame, const Rect& normalized, std::uint32_t argb) {
  for (int y = static_cast<int>(normalized.minY() * frame.height());
       y < static_cast<int>(std::ceil(normalized.maxY() * frame.height())); ++y)
    for (int x = static_cast<int>(normalized.minX() * frame.width());
         x < static_cast<int>(std::ceil(normalized.maxX() * frame.width())); ++x)
      frame.setPixel(x, y, argb);
}

void BM_VerifySourceMasks(benchmark::State& state) {
  const int count = static_cast<int>(state.range(0));
  PixelBuffer frame(1920, 1080);
  frame.fill(0xfff4f4f2);
  verification::SourceOverlaySnapshot snapshot{.revision = 1};
  for (int i = 0; i < count; ++i) {
    const Rect drawn{{0.02 + (i % 8) * 0.12, 0.02 + (i / 8) * 0.12}, {0.1, 0.04}};
    const platform::Point lock{drawn.minX() + 0.05, drawn.minY() + 0.02};
    paint(frame, drawn, 0xff202322);
    paint(frame, {{lock.x - 0.002, lock.y - 0.004}, {0.004, 0.008}}, 0xff14be6a);
    model::ProtectedRedaction mask;
    mask.normalizedFrame = drawn;
    mask.scope = model::ProtectedRedactionScope::sourceOverlay;
    snapshot.redactions.push_back(mask);
    snapshot.placements.push_back({drawn, lock});
  }
  if (!verification::SourceOverlayCaptureVerifier::verify(&frame, snapshot).isVerified) {
    state.SkipWithError("the drawn masks do not verify");
    return;
  }
  bench::FrameCopy copy({frame.data()}, frame.byteCount());
  bench::LikeForLikeRatio ratio(
      state, "memcpy", [&] { copy.once(); }, 256, 1);
  for (auto _ : state) {
    auto result = verification::SourceOverlayCaptureVerifier::verify(&frame, snapshot);
    benchmark::DoNotOptimize(result);
    ratio.unitDone();
  }
  ratio.report("check");
  const auto figures = ratio.figures();
  state.counters["mask_us"] = figures.pathSeconds * 1e6 / count;
  // Each mask's share of the check, against the same copy.
  state.counters["mask_ratio_to_memcpy"] = figures.ratio / count;
}
BENCHMARK(BM_VerifySourceMasks)->Arg(8)->Arg(64)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
