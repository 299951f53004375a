// Cost of composing a simulated desktop frame, against a plain copy of a frame of the same size.
// Privacy tests compose thousands of frames, so composition should stay within a few copies.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "platform/sim/sim_desktop.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::platform::sim {
namespace {

struct BusyDesktop {
  runtime::VirtualRunLoop loop;
  std::shared_ptr<SimDesktop> desktop = SimDesktop::make();
  ContentFilter filter;

  BusyDesktop() {
    (void)desktop->addDisplay(SimDesktop::makeDisplay(1, Rect{{0, 0}, {1920, 1080}}, 1, true));
    const auto files = desktop->launchApplication({"org.example.Files", "Files"}).value();
    (void)desktop->addWindow(
        files, SimWindowSpec{Rect{{0, 0}, {1920, 1080}}, -1, SimWindowKind::desktopIcons});
    for (int app = 0; app < 6; ++app) {
      const auto pid =
          desktop->launchApplication({"org.example.App" + std::to_string(app), "App"}).value();
      for (int w = 0; w < 3; ++w) {
        SimWindowSpec spec;
        spec.frame = Rect{{100.0 + app * 150 + w * 40, 60.0 + w * 120}, {900, 600}};
        spec.pattern.checkerboard = (w == 1);
        spec.pattern.cellSize = 16;
        (void)desktop->addWindow(pid, spec);
      }
    }
    filter.displayID = 1;
    filter.excludeDesktopWindows = true;
    filter.excludedApplications.push_back({"org.example.App2", "App", 0});
    filter.excludedApplications.push_back({"org.example.App4", "App", 0});
  }
};

void BM_ComposeFullHD(benchmark::State& state) {
  BusyDesktop busy;
  for (auto _ : state) {
    auto frame = busy.desktop->composeNow(busy.filter, 1920, 1080);
    benchmark::DoNotOptimize(frame.value()->data());
  }
}
BENCHMARK(BM_ComposeFullHD)->Unit(benchmark::kMillisecond);

void BM_ComposeSmall(benchmark::State& state) {
  BusyDesktop busy;
  for (auto _ : state) {
    auto frame = busy.desktop->composeNow(busy.filter, 320, 180);
    benchmark::DoNotOptimize(frame.value()->data());
  }
}
BENCHMARK(BM_ComposeSmall)->Unit(benchmark::kMicrosecond);

void BM_FrameIsUnfilteredFullHD(benchmark::State& state) {
  BusyDesktop busy;
  // A filtered frame: the check has to read every pixel to find nothing.
  auto frame = busy.desktop->composeNow(busy.filter, 1920, 1080).value();
  for (auto _ : state) {
    benchmark::DoNotOptimize(busy.desktop->frameIsUnfiltered(*frame, busy.filter));
  }
}
BENCHMARK(BM_FrameIsUnfilteredFullHD)->Unit(benchmark::kMillisecond);

void BM_MemcpyFullHDFrame(benchmark::State& state) {
  std::vector<std::uint8_t> source(1920 * 1080 * 4, 7);
  std::vector<std::uint8_t> target(source.size());
  for (auto _ : state) {
    std::memcpy(target.data(), source.data(), source.size());
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MemcpyFullHDFrame)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace corvane::platform::sim

BENCHMARK_MAIN();
