// Naming windows while the application folders are being written: a folder of 5,000 or 50,000
// desktop entries, one unrelated entry rewritten 1 or 10 times a second.
//   - BM_ResolveDuringEntryChurn: an application id resolved every millisecond for four seconds,
//     as the capture does for each window it names, in half-second phases with and without
//     writes; the slowest call while written (wall time, and the calling thread's CPU time, which
//     a busy machine's other processes do not inflate) against one read of the entries, the 99th
//     percentile against the quiet phases', how often the entries were read again, and how long a
//     new entry written meanwhile took to name its window against the interval reads are limited
//     to and one read. The rows with 0 writes are the quiet baseline.
//   - BM_FramesDuringEntryChurn: a capture stream at its usual 60 frames a second on a private
//     Xvfb with one window repainted 60 times a second, the entries resolved through the same
//     folders, in half-second phases with and without writes: the frames delivered a second and
//     the longest gap between two of them while written, against the quiet phases'.
#include <benchmark/benchmark.h>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "periodic_ticks.h"
#include "platform/x11/watched_desktop_entries.h"
#include "platform/x11/x11_screen_capture.h"
#include "runtime/serial_queue.h"
#include "support/temporary_folder.h"
#include "support/x11/test_client.h"
#include "support/x11/xvfb_server.h"

namespace {

using namespace corvane::platform;
using namespace corvane::platform::x11;
namespace runtime = corvane::runtime;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

void writeEntry(const fs::path& file, const std::string& name, const std::string& windowClass) {
  std::ofstream(file, std::ios::binary)
      << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=/usr/bin/" << windowClass
      << "\nStartupWMClass=" << windowClass << "\n";
}

// A folder of `count` application entries, "org.example.App<i>" of class "App<i>"; made once.
const fs::path& entryFolder(long count) {
  static std::map<long, std::unique_ptr<corvane::testing::TemporaryFolder>> folders;
  auto& folder = folders[count];
  if (!folder) {
    folder = std::make_unique<corvane::testing::TemporaryFolder>("corvane-bench-entries");
    for (long i = 0; i < count; ++i) {
      const auto name = "App" + std::to_string(i);
      writeEntry(folder->path() / ("org.example." + name + ".desktop"), name, name);
    }
  }
  return folder->path();
}

// Rewrites one entry of `folder` `perSecond` times a second (0: never) while it lives.
class EntryChurn {
 public:
  EntryChurn(const fs::path& folder, long perSecond)
      : ticks_(static_cast<double>(perSecond), [this, file = folder / "org.example.Churn.desktop"] {
          writeEntry(file, "Churn " + std::to_string(++written_), "Churn");
        }) {}

 private:
  long written_ = 0;
  corvane::bench::PeriodicTicks ticks_;
};

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The calling thread's CPU time: what a call costs, without the time others had the core.
double threadMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) * 1e-6;
}

// What the entries' own thread spends when a folder changes: one read of the folder by a reader
// that read it before (a walk, and the changed files read again), in CPU and wall milliseconds,
// the median of three. No resolve may pay for it.
struct Reread {
  double cpuMilliseconds = 0;
  double milliseconds = 0;
};
Reread measureReread(const fs::path& folder) {
  DesktopEntryReader reader;
  const std::vector<fs::path> directories{folder};
  reader.index(listDesktopEntryFiles(directories), directories);
  std::vector<Reread> reads;
  for (int i = 0; i < 3; ++i) {
    const auto start = Clock::now();
    const double startOnThread = threadMilliseconds();
    reader.index(listDesktopEntryFiles(directories), directories);
    reads.push_back({threadMilliseconds() - startOnThread, millisecondsSince(start)});
  }
  std::sort(reads.begin(), reads.end(),
            [](const Reread& a, const Reread& b) { return a.milliseconds < b.milliseconds; });
  return reads[1];
}

double percentile99(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() * 99 / 100];
}

// Resolves go on for four seconds in half-second phases, quiet and written in turn: each phase
// with writes is compared with the quiet ones around it, measured on the same machine at the same
// time.
void BM_ResolveDuringEntryChurn(benchmark::State& state) {
  const long count = state.range(0);
  const auto& folder = entryFolder(count);
  fs::remove(folder / "org.example.Newcomer.desktop");
  const DesktopEntryWatchTiming timing;
  auto entries = std::make_shared<WatchedDesktopEntries>(std::vector<fs::path>{folder}, timing);
  const ApplicationIdentityResolver resolver(entries);
  const auto known = "App" + std::to_string(count / 2);
  const WindowClass knownClass{"app", known};
  const WindowClass newcomerClass{"newcomer", "Newcomer"};
  if (resolver.resolve(getpid(), knownClass).id != "org.example." + known) {
    state.SkipWithError("the entries were not read");
    return;
  }
  const Reread reread = measureReread(folder);
  std::vector<double> durations, quietDurations, threadDurations;
  double newcomerNamedAfter = -1;
  std::uint64_t readsBefore = entries->readCount();
  for (auto _ : state) {
    const auto start = Clock::now();
    std::optional<Clock::time_point> newcomerWritten;
    for (int phase = 0; phase < 8; ++phase) {
      const bool written = phase % 2 == 1;
      std::optional<EntryChurn> churn;
      if (written) churn.emplace(folder, state.range(1));
      while (millisecondsSince(start) < 500.0 * (phase + 1)) {
        if (!newcomerWritten && millisecondsSince(start) > 1500) {
          writeEntry(folder / "org.example.Newcomer.desktop", "Newcomer", "Newcomer");
          newcomerWritten = Clock::now();
        }
        for (const auto& windowClass : {knownClass, newcomerClass}) {
          const auto called = Clock::now();
          const double calledOnThread = threadMilliseconds();
          const auto identity = resolver.resolve(getpid(), windowClass);
          (written ? durations : quietDurations).push_back(millisecondsSince(called));
          if (written) threadDurations.push_back(threadMilliseconds() - calledOnThread);
          if (newcomerWritten && newcomerNamedAfter < 0 && identity.id == "org.example.Newcomer") {
            newcomerNamedAfter = millisecondsSince(*newcomerWritten) / 1000;
          }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
  }
  if (newcomerNamedAfter < 0) {
    state.SkipWithError("the new entry never named its window");
    return;
  }
  const double cpuMax = *std::max_element(threadDurations.begin(), threadDurations.end());
  const double p99 = percentile99(durations), quietP99 = percentile99(quietDurations);
  // While writes keep coming the entries are read once an interval: a new entry is named within
  // that interval and one read.
  const double readInterval = timing.minimumInterval + reread.milliseconds / 1000;
  state.counters["resolve_max_ms"] = *std::max_element(durations.begin(), durations.end());
  state.counters["resolve_cpu_max_ms"] = cpuMax;
  state.counters["reread_cpu_ms"] = reread.cpuMilliseconds;
  state.counters["resolve_cpu_max_ratio_to_reread"] = cpuMax / reread.cpuMilliseconds;
  state.counters["resolve_p99_us"] = p99 * 1000;
  state.counters["quiet_p99_us"] = quietP99 * 1000;
  state.counters["resolve_p99_ratio_to_quiet"] = p99 / quietP99;
  state.counters["resolves"] = static_cast<double>(durations.size() + quietDurations.size());
  state.counters["index_reads"] = static_cast<double>(entries->readCount() - readsBefore);
  state.counters["new_entry_named_s"] = newcomerNamedAfter;
  state.counters["read_interval_s"] = readInterval;
  state.counters["new_entry_named_ratio_to_read_interval"] = newcomerNamedAfter / readInterval;
}

runtime::Status waitForStatus(
    const std::function<void(std::function<void(runtime::Status)>)>& call) {
  auto promise = std::make_shared<std::promise<runtime::Status>>();
  auto future = promise->get_future();
  call([promise](runtime::Status status) { promise->set_value(status); });
  if (future.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    return runtime::Status::failure("no answer");
  }
  return future.get();
}

void BM_FramesDuringEntryChurn(benchmark::State& state) {
  const long count = state.range(0);
  const auto& folder = entryFolder(count);
  corvane::testing::XvfbServer server(1280, 720);
  if (!server.ok()) {
    state.SkipWithError("Xvfb did not start");
    return;
  }
  corvane::testing::TestClient animated(
      server.name(), {.windowClass = "App1", .x = 100, .y = 100, .width = 400, .height = 300});
  int painted = 0;
  corvane::bench::PeriodicTicks animation(60, [&] {
    animated.command("paint 400x300+0+0 " + std::string(++painted % 2 ? "3060C0" : "C06030"));
  });
  auto entries = std::make_shared<WatchedDesktopEntries>(std::vector<fs::path>{folder});
  entries->current();  // the first reading, as at the application's start
  auto resolver = std::make_shared<const ApplicationIdentityResolver>(entries);
  X11ScreenCapture capture(server.name(), resolver);
  std::mutex mutex;
  std::vector<Clock::time_point> frames;
  StreamOutput output;
  output.onSample = [&](const CapturedSample& sample) {
    if (!sample.pixels || sample.status != FrameStatus::complete) return;
    std::lock_guard lock(mutex);
    frames.push_back(Clock::now());
  };
  std::atomic<bool> stopped{false};
  output.onStopWithError = [&](const runtime::Error&) { stopped = true; };
  ContentFilter filter;
  filter.excludedApplications.push_back({"org.example.Vault", "Vault", 0});
  auto queue = std::make_shared<corvane::runtime::ThreadSerialQueue>("bench.samples");
  auto stream = capture.makeStream(filter, {}, output, queue);
  if (!waitForStatus([&](auto done) { stream->startCapture(done); })) {
    state.SkipWithError("the stream did not start");
    return;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  // Half-second phases, quiet and written in turn, each one's end kept.
  std::vector<std::pair<Clock::time_point, bool>> phases;
  for (auto _ : state) {
    {
      std::lock_guard lock(mutex);
      frames.clear();
    }
    for (int phase = 0; phase < 8; ++phase) {
      const bool written = phase % 2 == 1;
      std::optional<EntryChurn> churn;
      if (written) churn.emplace(folder, state.range(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      phases.emplace_back(Clock::now(), written);
    }
  }
  std::vector<Clock::time_point> delivered;
  {
    std::lock_guard lock(mutex);
    delivered = frames;
  }
  const bool stoppedCleanly = waitForStatus([&](auto done) { stream->stopCapture(done); }).ok();
  if (stopped || !stoppedCleanly || delivered.size() < 2) {
    state.SkipWithError("the stream stopped delivering frames");
    return;
  }
  // Each gap counts for the phase its second frame came in.
  double longestGap = 0, longestQuietGap = 0;
  for (std::size_t i = 1; i < delivered.size(); ++i) {
    const auto phase = std::find_if(phases.begin(), phases.end(),
                                    [&](const auto& end) { return delivered[i] <= end.first; });
    const bool written = phase == phases.end() || phase->second;
    double& longest = written ? longestGap : longestQuietGap;
    longest = std::max(
        longest,
        std::chrono::duration<double, std::milli>(delivered[i] - delivered[i - 1]).count());
  }
  state.counters["frames_per_second"] = static_cast<double>(delivered.size()) / 4.0;
  state.counters["longest_gap_ms"] = longestGap;
  state.counters["longest_quiet_gap_ms"] = longestQuietGap;
  state.counters["longest_gap_ratio_to_quiet"] = longestGap / longestQuietGap;
}

BENCHMARK(BM_ResolveDuringEntryChurn)
    ->ArgsProduct({{5000, 50000}, {0, 1, 10}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FramesDuringEntryChurn)
    ->ArgsProduct({{5000, 50000}, {0, 1, 10}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
