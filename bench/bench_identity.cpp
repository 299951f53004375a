// What naming one window costs: its process's launch, units and ancestry read from /proc and
// matched against the desktop entries, with and without a readable environment.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/desktop_entry_index.h"
#include "platform/x11/application_identity.h"
#include "support/temporary_folder.h"

namespace corvane::platform::x11 {
namespace {

namespace fs = std::filesystem;

// `count` application entries, each starting a program of its own.
std::shared_ptr<const DesktopEntryIndex> entriesOf(const fs::path& folder, int count) {
  for (int i = 0; i < count; ++i) {
    const auto id = "org.example.App" + std::to_string(i);
    std::ofstream(folder / (id + ".desktop"))
        << "[Desktop Entry]\nType=Application\nName=App " << i << "\nExec=/opt/app" << i
        << "/run --window %U\nStartupWMClass=AppWin" << i << "\n";
  }
  return std::make_shared<const DesktopEntryIndex>(DesktopEntryIndex::load({folder}));
}

void report(benchmark::State& state, double seconds) {
  state.counters["resolve_us"] = seconds * 1e6 / static_cast<double>(state.iterations());
}

// This process, as the system's /proc shows it: environment readable, ancestry real.
void BM_ResolveIdentity(benchmark::State& state) {
  corvane::testing::TemporaryFolder folder("corvane-bench-identity");
  ApplicationIdentityResolver resolver(entriesOf(folder.path(), static_cast<int>(state.range(0))));
  const auto pid = static_cast<std::int32_t>(getpid());
  const std::optional<WindowClass> windowClass = WindowClass{"appwin7", "AppWin7"};
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) benchmark::DoNotOptimize(resolver.resolve(pid, windowClass));
  report(state, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}
BENCHMARK(BM_ResolveIdentity)->Arg(0)->Arg(5000)->UseRealTime();

// A process whose environment cannot be read: named by the entries whose Exec= it runs, which
// looks at every entry.
void BM_ResolveWithoutEnvironment(benchmark::State& state) {
  corvane::testing::TemporaryFolder folder("corvane-bench-identity"), proc("corvane-bench-proc");
  ApplicationIdentityResolver resolver(entriesOf(folder.path(), static_cast<int>(state.range(0))),
                                       proc.path());
  fs::create_directories(proc / "40");
  std::ofstream(proc / "40/cmdline", std::ios::binary)
      << std::string("/opt/app7/run\0--window\0", 23);
  std::ofstream(proc / "40/stat") << "40 (run) S 1 40 40 0 -1 0 0 0 0 0 0 0 0 0 20 0 1 0 500 0 0\n";
  std::ofstream(proc / "40/cgroup")
      << "0::/user.slice/app.slice/app-gnome-org.example.App7-40.scope\n";
  const std::optional<WindowClass> windowClass = WindowClass{"helper", "Helper"};
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) benchmark::DoNotOptimize(resolver.resolve(40, windowClass));
  report(state, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}
BENCHMARK(BM_ResolveWithoutEnvironment)->Arg(0)->Arg(5000)->UseRealTime();

}  // namespace
}  // namespace corvane::platform::x11

BENCHMARK_MAIN();
