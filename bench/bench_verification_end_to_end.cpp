// The sensitive-text engine end to end at 1080p on a private Xvfb, with real Tesseract and real
// threads: a notes application fills the screen with twenty lines of text drawn by Cairo, the
// owner approves the baseline, and the user types. Goals in goals.txt:
//
// - BM_BaselineReady: from the owner's request for a new baseline until the full-frame analysis
//   of the page waits for approval (baseline_s, the median of the runs); first_baseline_s is the
//   time from start() to the first baseline (a capture's first frame shows windows that have not
//   repainted since the capture began as a neutral fill, so it holds little to read).
// - BM_KeystrokeToVerifiedPublication: from a keystroke drawn on screen until a verified frame
//   captured after it is published (p50_s and p95_s over the keystrokes). Keystrokes come a tenth
//   to half a second after the previous publication, at fixed pseudo-random gaps.
// Both are also given against a plain Tesseract read of the published 1080p page in the same run
// (bench/plain_tesseract_read.h: plain_read_s, baseline_ratio_to_plain_read,
// p50_ratio_to_plain_read and p95_ratio_to_plain_read), so that they hold on any machine.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "figures/ratio_statistics.h"
#include "plain_tesseract_read.h"
#include "platform/linux/ocr/tesseract_text_recognizer.h"
#include "platform/x11/x11_desktop.h"
#include "runtime/run_loop.h"
#include "runtime/runtime.h"
#include "support/text_corpus.h"
#include "support/verification_engine_owner.h"
#include "support/x11/test_client.h"
#include "support/x11/xvfb_server.h"
#include "verification/legacy_source_protection_engine.h"

namespace {

using namespace corvane;
using Clock = std::chrono::steady_clock;

// The screen, the notes and the main actor, shared by both benchmarks.
struct NotesScreen {
  testing::XvfbServer server{1920, 1080};
  runtime::RunLoop loop;
  runtime::ScopedRuntime runtime{runtime::RuntimeServices{&loop, runtime::threadQueueFactory()}};
  std::unique_ptr<testing::TestClient> notes;
  std::optional<platform::Desktop> desktop;
  std::shared_ptr<platform::TextRecognizer> recognizer =
      std::make_shared<platform::ocr::TesseractTextRecognizer>(
          platform::ocr::TesseractTextRecognizer::Options{});

  NotesScreen() {
    if (!server.ok()) return;
    notes = std::make_unique<testing::TestClient>(server.name(),
                                                  testing::TestClientOptions{.windowClass = "Notes",
                                                                             .x = 0,
                                                                             .y = 0,
                                                                             .width = 1920,
                                                                             .height = 1080,
                                                                             .textPixelSize = 24});
    const auto lines = testing::manyBenignLines(2);
    for (int i = 0; i < 20; ++i)
      notes->command("line " + std::to_string(i) + " " + lines[i % lines.size()].text);
    auto opened = platform::x11::openDesktop(server.name(), static_cast<std::int32_t>(getpid()));
    if (opened.ok()) desktop = opened.value();
  }

  // Runs the main actor: `first` as its first job, then until `done` holds; false after `seconds`.
  bool runUntil(const std::function<bool()>& done, double seconds,
                const std::function<void()>& first = {}) {
    const auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    bool met = false;
    std::function<void()> poll = [&] {
      if (done()) {
        met = true;
        loop.quit();
      } else if (Clock::now() > deadline) {
        loop.quit();
      } else {
        loop.postAfter(0.002, poll);
      }
    };
    loop.post([&] {
      if (first) first();
      poll();
    });
    loop.run();
    return met;
  }

  std::shared_ptr<verification::LegacySourceProtectionEngine> makeEngine() {
    verification::LegacySourceProtectionEngineServices services;
    services.desktop = *desktop;
    services.ownBundleIdentifier = "org.example.Corvane";
    services.ownProcessIdentifier = static_cast<std::int32_t>(getpid());
    services.recorder = [](const std::string&, std::map<std::string, std::string>) {};
    services.textRecognizer = recognizer;
    std::shared_ptr<verification::LegacySourceProtectionEngine> engine;
    runUntil([] { return true; }, 1,
             [&] {
               engine = verification::LegacySourceProtectionEngine::make(services);
               verification::LegacySourceProtectionConfiguration configuration;
               configuration.maskAllRecognizedText = false;
               engine->configure(configuration);
             });
    return engine;
  }

  // Starts `engine` with `owner` approving every baseline, and runs until the page is on the
  // output; the seconds until the first baseline waited, or nothing when the page never showed.
  std::optional<double> startSharing(
      const std::shared_ptr<verification::LegacySourceProtectionEngine>& engine,
      std::optional<testing::VerificationEngineOwner>& owner) {
    const auto begin = Clock::now();
    std::optional<double> firstBaseline;
    runtime::TaskHandle<void> started;
    const bool shown = runUntil(
        [&] {
          if (!firstBaseline && owner->approvals() > 0)
            firstBaseline = std::chrono::duration<double>(Clock::now() - begin).count();
          return pageIsPublished(*engine);
        },
        60,
        [&] {
          owner.emplace(engine, [](auto) { return verification::SourceOverlaySnapshot{}; });
          owner->setApprovesBaselines(true);
          started = runtime::spawn(engine->start());
        });
    if (!shown) return std::nullopt;
    return firstBaseline;
  }

  // Whether the output shows the ink of the page's first line.
  static bool pageIsPublished(const verification::LegacySourceProtectionEngine& engine) {
    const auto output = engine.outputSurface()->snapshot();
    if (!output || !engine.renderedFrame.value()) return false;
    for (int y = 20; y < 50; ++y) {
      for (int x = 24; x < 400; ++x) {
        if ((output->image->pixel(x, y) & 0xffffff) == 0) return true;
      }
    }
    return false;
  }

  // Stops `engine`, then lets go of it and of its owner on the main actor.
  void stop(std::shared_ptr<verification::LegacySourceProtectionEngine>& engine,
            std::optional<testing::VerificationEngineOwner>& owner) {
    runtime::TaskHandle<void> stopped;
    runUntil([&] { return stopped.isDone(); }, 10,
             [&] { stopped = runtime::spawn(engine->stop()); });
    runUntil([] { return true; }, 1,
             [&] {
               owner.reset();
               engine.reset();
             });
  }
};

NotesScreen& notesScreen() {
  static NotesScreen screen;
  return screen;
}

// Seconds of a plain Tesseract read of the page `engine` published last, the median of `reads`;
// nothing when it published none.
std::optional<double> plainReadOfPublishedPage(
    const verification::LegacySourceProtectionEngine& engine, int reads) {
  const auto output = engine.outputSurface()->snapshot();
  if (!output || !output->image) return std::nullopt;
  bench::PlainTesseractRead plainRead(*output->image);
  std::vector<double> seconds;
  for (int i = 0; i < reads; ++i) {
    const auto begin = Clock::now();
    plainRead.once();
    seconds.push_back(std::chrono::duration<double>(Clock::now() - begin).count());
  }
  return bench::quantile(seconds, 0.5);
}

void BM_BaselineReady(benchmark::State& state) {
  auto& screen = notesScreen();
  if (!screen.desktop) {
    state.SkipWithError("Xvfb or the notes did not start");
    return;
  }
  std::vector<double> seconds, firstSeconds, plainReads;
  for (auto _ : state) {
    auto engine = screen.makeEngine();
    std::optional<testing::VerificationEngineOwner> owner;
    const auto first = screen.startSharing(engine, owner);
    bool ready = false;
    if (first) {
      firstSeconds.push_back(*first);
      const auto begin = Clock::now();
      ready = screen.runUntil([&] { return engine->pendingBaselineIsRefresh.value(); }, 60,
                              [&] {
                                owner->setApprovesBaselines(false);
                                engine->requestBaselineRefresh();
                              });
      const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
      state.SetIterationTime(elapsed);
      seconds.push_back(elapsed);
      if (const auto read = plainReadOfPublishedPage(*engine, 1)) plainReads.push_back(*read);
    }
    const auto status = engine->statusMessage.value();
    screen.stop(engine, owner);
    if (!ready) {
      state.SkipWithError(("no baseline: " + status).c_str());
      return;
    }
  }
  state.counters["baseline_s"] = bench::quantile(seconds, 0.5);
  state.counters["first_baseline_s"] = bench::quantile(firstSeconds, 0.5);
  if (plainReads.empty()) return;
  const double plainRead = bench::quantile(plainReads, 0.5);
  state.counters["plain_read_s"] = plainRead;
  state.counters["baseline_ratio_to_plain_read"] = bench::quantile(seconds, 0.5) / plainRead;
}
BENCHMARK(BM_BaselineReady)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_KeystrokeToVerifiedPublication(benchmark::State& state) {
  auto& screen = notesScreen();
  if (!screen.desktop) {
    state.SkipWithError("Xvfb or the notes did not start");
    return;
  }
  auto engine = screen.makeEngine();
  std::optional<testing::VerificationEngineOwner> owner;
  if (!screen.startSharing(engine, owner)) {
    state.SkipWithError(("the page never showed: " + engine->statusMessage.value()).c_str());
    screen.stop(engine, owner);
    return;
  }
  std::mt19937 random(7);
  std::uniform_real_distribution<double> gap(0.1, 0.5);
  const std::string keys = "thequickbrownfoxjumpsoverthelazydog";
  std::vector<double> latencies;
  for (auto _ : state) {
    screen.runUntil([] { return false; }, gap(random));
    // Timed from before the key is sent: the capture may take the frame that shows it before
    // the client has answered. Only a frame with changed pixels is ever published, and nothing
    // else on the screen changes.
    const auto typedAt = runtime::uptime();
    const auto begin = Clock::now();
    screen.notes->command("append " + std::string(1, keys[latencies.size() % keys.size()]));
    const bool published = screen.runUntil(
        [&] {
          const auto& frame = engine->renderedFrame.value();
          return frame && frame->sequence >= static_cast<std::uint64_t>(typedAt * 1'000'000);
        },
        20);
    const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
    if (!published) {
      state.SkipWithError(("keystroke never published: " + engine->statusMessage.value()).c_str());
      break;
    }
    state.SetIterationTime(elapsed);
    latencies.push_back(elapsed);
  }
  const auto plainRead = plainReadOfPublishedPage(*engine, 5);
  screen.stop(engine, owner);
  if (latencies.empty()) return;
  state.counters["p50_s"] = bench::quantile(latencies, 0.5);
  state.counters["p95_s"] = bench::quantile(latencies, 0.95);
  if (!plainRead) return;
  state.counters["plain_read_s"] = *plainRead;
  state.counters["p50_ratio_to_plain_read"] = bench::quantile(latencies, 0.5) / *plainRead;
  state.counters["p95_ratio_to_plain_read"] = bench::quantile(latencies, 0.95) / *plainRead;
}
BENCHMARK(BM_KeystrokeToVerifiedPublication)
    ->Iterations(40)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
