#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "capture/protected_share_engine.h"
#include "model/diagnostic_reporter.h"
#include "platform/sim/sim_capture_stream.h"
#include "platform/sim/sim_desktop.h"
#include "runtime/virtual_run_loop.h"
#include "support/temporary_folder.h"

namespace corvane::capture::testing {

inline constexpr const char* kOwnBundleID = "com.pemberquist.corvane";
inline constexpr const char* kSystemSurfaceID = "org.example.Notifier";

// One published output image as the surface showed it, with when it was written.
struct PublishedImage {
  platform::SharedPixelBuffer image;
  std::uint64_t sequence = 0;
  runtime::Uptime publishedAt = 0;
};

// A Protected Share engine on a simulated desktop with one display, on the virtual clock, with
// Corvane itself and a system surface running, and every image the output publishes recorded.
class EngineHarness {
 public:
  explicit EngineHarness(platform::Size displaySize = {160, 90}) {
    (void)desktop->addDisplay(
        platform::sim::SimDesktop::makeDisplay(1, platform::Rect{{0, 0}, displaySize}, 1, true));
    ownProcess = desktop->launchApplication({kOwnBundleID, "Corvane"}).value();
    (void)desktop->addWindow(ownProcess, {platform::Rect{{100, 50}, {40, 30}}});
    notifier = desktop->launchApplication({kSystemSurfaceID, "Notifier"}).value();
    (void)desktop->addWindow(notifier, {platform::Rect{{120, 0}, {40, 20}}});
    desktop->setSecondsSinceLastInput(600);

    ProtectedShareEngineServices services;
    services.desktop = desktop->desktop();
    services.ownBundleIdentifier = kOwnBundleID;
    services.ownProcessIdentifier = ownProcess;
    services.additionalExcludedBundleIDs = {kSystemSurfaceID};
    services.recorder = [reporter = reporter](const std::string& event,
                                              std::map<std::string, std::string> fields) {
      reporter->record(event, std::move(fields));
    };
    engine = ProtectedShareEngine::make(services);
    updates = engine->outputSurface()->observeUpdates(
        [this](const ProtectedOutputSurface::Snapshot& snapshot) {
          published.push_back({snapshot.image, snapshot.sequence, runtime::uptime()});
        });
  }

  ~EngineHarness() {
    updates.cancel();
    if (engine && model::isActive(engine->phase.value())) {
      auto handle = runtime::spawn(engine->stop());
      loop.advance(2.0);
    }
  }

  // Runs the engine's start to its end.
  void start(std::set<std::string> protectedIDs, bool hideDesktopIcons = false,
             std::optional<std::uint32_t> display = std::nullopt) {
    auto handle =
        runtime::spawn(engine->start(std::move(protectedIDs), hideDesktopIcons, {}, display));
    finish(handle);
  }
  // Starts and runs until the first frame is out.
  void startSharing(std::set<std::string> protectedIDs, bool hideDesktopIcons = false) {
    start(std::move(protectedIDs), hideDesktopIcons);
    for (int i = 0; i < 100 && !engine->renderedFrame.value(); ++i) loop.advance(0.01);
  }
  void stop() {
    auto handle = runtime::spawn(engine->stop());
    finish(handle);
  }
  void finish(const runtime::TaskHandle<void>& handle, double limit = 30.0) {
    for (double t = 0; t <= limit && !handle.isDone(); t += 0.01) loop.advance(0.01);
  }

  std::vector<std::string> eventNames() {
    std::vector<std::string> names;
    for (const auto& event : reporter->readEvents().events) names.push_back(event.event);
    return names;
  }
  bool recorded(const std::string& event) {
    for (const auto& name : eventNames())
      if (name == event) return true;
    return false;
  }

  platform::SharedPixelBuffer shownImage() const {
    auto snapshot = engine->outputSurface()->snapshot();
    return snapshot ? snapshot->image : nullptr;
  }

  // The folder outlives the loop, so diagnostics still queued at the end never write into a
  // folder that is gone.
  corvane::testing::TemporaryFolder folder;
  runtime::VirtualRunLoop loop;
  std::shared_ptr<platform::sim::SimDesktop> desktop = platform::sim::SimDesktop::make();
  std::shared_ptr<model::DiagnosticReporter> reporter = std::make_shared<model::DiagnosticReporter>(
      folder / "Diagnostics", loop.makeQueue("diagnostics"), folder / "tmp");
  std::int32_t ownProcess = 0;
  std::int32_t notifier = 0;
  std::shared_ptr<ProtectedShareEngine> engine;
  std::vector<PublishedImage> published;
  runtime::Subscription updates;
};

}  // namespace corvane::capture::testing
