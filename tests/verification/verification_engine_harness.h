#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/scripted_text_recognizer.h"
#include "platform/sim/sim_capture_stream.h"
#include "platform/sim/sim_desktop.h"
#include "runtime/virtual_run_loop.h"
#include "verification/legacy_source_protection_engine.h"

namespace corvane::verification::testing {

inline constexpr const char* kOwnBundleID = "com.pemberquist.corvane";
inline constexpr const char* kSystemSurfaceID = "org.example.Notifier";
inline constexpr const char* kVaultID = "org.example.Vault";

struct RecordedEvent {
  std::string name;
  std::map<std::string, std::string> fields;
};

// A verification engine on a simulated desktop with one display, on the virtual clock: this
// application runs with one source-mask overlay window, a system surface, an editor and a
// protected vault; the engine is configured to leave the vault out and keep the overlay. It reads
// text through `recognizer` (nothing scripted: it reads nothing), unless made without one.
class VerificationEngineHarness {
 public:
  explicit VerificationEngineHarness(platform::Size displaySize = {320, 180},
                                     bool withTextRecognizer = true) {
    (void)desktop->addDisplay(
        platform::sim::SimDesktop::makeDisplay(1, platform::Rect{{0, 0}, displaySize}, 1, true));
    ownProcess = desktop->launchApplication({kOwnBundleID, "Corvane"}).value();
    overlayWindow = desktop->addWindow(ownProcess, {platform::Rect{{10, 10}, {60, 20}}}).value();
    const auto notifier = desktop->launchApplication({kSystemSurfaceID, "Notifier"}).value();
    (void)desktop->addWindow(notifier, {platform::Rect{{240, 0}, {80, 20}}});
    editor = desktop->launchApplication({"org.example.Editor", "Editor"}).value();
    editorWindow = desktop->addWindow(editor, {platform::Rect{{0, 0}, displaySize}}).value();
    vault = desktop->launchApplication({kVaultID, "Vault"}).value();
    vaultWindow = desktop->addWindow(vault, {platform::Rect{{100, 60}, {80, 60}}}).value();
    desktop->setSecondsSinceLastInput(600);

    LegacySourceProtectionEngineServices services;
    services.desktop = desktop->desktop();
    services.ownBundleIdentifier = kOwnBundleID;
    services.ownProcessIdentifier = ownProcess;
    services.additionalExcludedBundleIDs = {kSystemSurfaceID};
    services.recorder = [this](const std::string& event,
                               std::map<std::string, std::string> fields) {
      events.push_back({event, std::move(fields)});
    };
    services.tileWorkers = std::make_shared<runtime::WorkerThreads>(1);
    if (withTextRecognizer) services.textRecognizer = recognizer;
    engine = LegacySourceProtectionEngine::make(services);
    LegacySourceProtectionConfiguration configuration;
    configuration.protectedAppBundleIDs = {kVaultID};
    configuration.sourceOverlayWindowIDs = {overlayWindow};
    engine->configure(configuration);
  }

  ~VerificationEngineHarness() {
    if (engine && model::isActive(engine->phase.value())) stop();
  }

  void run(runtime::Task<void> task, double limit = 30.0) {
    auto handle = runtime::spawn(std::move(task));
    for (double t = 0; t <= limit && !handle.isDone(); t += 0.01) loop.advance(0.01);
  }
  void start() { run(engine->start()); }
  // The capture delivers nothing, not even screenshots: only the candidates a test hands the
  // engine are analysed. Call before start().
  void quietCapture() {
    desktop->captureScript().stalled = true;
    desktop->captureScript().screenshot.hangs = true;
  }
  void stop() { run(engine->stop()); }

  CaptureFilterRefreshResult refresh(
      std::optional<capture::CaptureApplicationIdentity> expected = std::nullopt) {
    auto handle = runtime::spawn(engine->refreshCaptureFilter(std::move(expected)));
    for (double t = 0; t <= 30 && !handle.isDone(); t += 0.01) loop.advance(0.01);
    return handle.result();
  }

  std::vector<RecordedEvent> eventsNamed(const std::string& name) const {
    std::vector<RecordedEvent> found;
    for (const auto& event : events)
      if (event.name == name) found.push_back(event);
    return found;
  }
  bool recorded(const std::string& name) const { return !eventsNamed(name).empty(); }

  int runningStreams() const {
    int running = 0;
    for (const auto& stream : desktop->liveStreams()) running += stream->isRunning() ? 1 : 0;
    return running;
  }

  runtime::VirtualRunLoop loop;
  std::shared_ptr<platform::sim::SimDesktop> desktop = platform::sim::SimDesktop::make();
  std::int32_t ownProcess = 0;
  std::int32_t editor = 0;
  std::int32_t vault = 0;
  std::uint32_t overlayWindow = 0;
  std::uint32_t editorWindow = 0;
  std::uint32_t vaultWindow = 0;
  std::vector<RecordedEvent> events;
  std::shared_ptr<platform::sim::ScriptedTextRecognizer> recognizer =
      std::make_shared<platform::sim::ScriptedTextRecognizer>();
  std::shared_ptr<LegacySourceProtectionEngine> engine;
};

}  // namespace corvane::verification::testing
