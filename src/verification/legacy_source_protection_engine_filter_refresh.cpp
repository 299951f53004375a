#include <utility>

#include "runtime/main_actor.h"
#include "runtime/runtime.h"
#include "verification/legacy_source_protection_engine.h"

namespace corvane::verification {

runtime::Task<CaptureFilterRefreshResult> LegacySourceProtectionEngine::refreshCaptureFilter(
    std::optional<capture::CaptureApplicationIdentity> expectedProtectedApplication) {
  runtime::assertMainActor();
  // One refresh at a time: two would stop the same stream twice. A later caller gets the result
  // of the refresh under way.
  if (!isRefreshingCaptureFilter_) {
    isRefreshingCaptureFilter_ = true;
    captureFilterRefreshTask_ =
        runtime::spawn(runRefresh(weak_from_this(), std::move(expectedProtectedApplication)));
  }
  return awaitRefresh(captureFilterRefreshTask_);
}

runtime::Task<CaptureFilterRefreshResult> LegacySourceProtectionEngine::awaitRefresh(
    runtime::TaskHandle<CaptureFilterRefreshResult> refresh) {
  auto result = co_await refresh;
  co_return result;
}

// Keeps the running stream's filter equal to what the content requires now:
// - an application the caller expects to be left out must already be among the filter's;
// - the source-mask overlays must all be on screen, or the output holds;
// - an unchanged filter counts down the clean captures still owed after a replacement;
// - a changed filter, display or display geometry replaces the stream: the new one is made, the
//   old one stops, the new one starts and only then takes over, owing two clean captures. A
//   replacement that fails fails the engine with neither stream left running; one that the run
//   outlived (a stop, another stream) is undone.
runtime::Task<CaptureFilterRefreshResult> LegacySourceProtectionEngine::runRefresh(
    std::weak_ptr<LegacySourceProtectionEngine> weak,
    std::optional<capture::CaptureApplicationIdentity> expected) {
  auto self = weak.lock();
  if (!self) co_return CaptureFilterRefreshResult{};
  auto& engine = *self;
  struct EndRefresh {
    LegacySourceProtectionEngine& engine;
    ~EndRefresh() { engine.isRefreshingCaptureFilter_ = false; }
  } endRefresh{engine};

  auto supervisor = engine.supervisor_;
  if (!supervisor->stream() || supervisor->isStarting()) co_return CaptureFilterRefreshResult{};
  const auto lifecycle = engine.lifecycleGeneration_;
  auto contentTask = supervisor->fetchContent();
  const auto content = co_await std::move(contentTask);
  if (!engine.isRunCurrent(lifecycle) || !supervisor->stream() || !content || !content->ok())
    co_return CaptureFilterRefreshResult{};
  const auto display = supervisor->chooseDisplay(content->value(), engine.selectedDisplayID_);
  if (!display) co_return CaptureFilterRefreshResult{};
  const auto snapshot = engine.contentFilterSnapshot(*display, content->value());
  const auto& keptOverlays = snapshot.filter.exceptingWindowIDs;

  if (expected && !snapshot.applicationIdentities.contains(*expected)) {
    engine.statusMessage.set(kWaitingForProtectedAppStatus);
    co_return CaptureFilterRefreshResult{};
  }
  // The refresh counts the frame it holds itself; the analysis that asked for the refresh then
  // does not count that frame again.
  if (engine.sourceOverlayWindowIDs_.empty() || keptOverlays != engine.sourceOverlayWindowIDs_) {
    engine.countHeldFrame();
    engine.statusMessage.set(kMaskSurfaceUnavailableStatus);
    co_return CaptureFilterRefreshResult{};
  }

  const bool filterChanged =
      engine.activeCaptureApplicationIdentities_ != snapshot.applicationIdentities ||
      engine.activeCaptureOverlayWindowIDs_ != keptOverlays;
  // The supervisor's display is the one the running stream captures (its number and geometry).
  const auto& activeDisplay = supervisor->activeDisplay();
  const bool displayChanged =
      !activeDisplay || !capture::isSameDisplayGeometry(*activeDisplay, *display);
  if (!filterChanged && !displayChanged) {
    if (engine.cleanFramesRequiredBeforePublish_ < 1)
      co_return CaptureFilterRefreshResult{true, true};
    --engine.cleanFramesRequiredBeforePublish_;
    engine.countHeldFrame();
    engine.statusMessage.set(engine.renderedFrame.value()
                                 ? "Confirming clean capture after protected app filter update"
                                 : "Confirming clean capture before first frame");
    co_return CaptureFilterRefreshResult{true, false};
  }

  auto replaceTask = supervisor->replace(
      snapshot, *display,
      [&engine] {
        engine.isFrameDeliveryEnabled_ = false;
        engine.records().mailbox->reset(engine.captureGeneration_);
        engine.syncFrameDeliveryState(false);
      },
      [&engine, lifecycle] { return engine.isRunCurrent(lifecycle); });
  const auto replaced = co_await std::move(replaceTask);
  if (replaced.outcome == capture::StreamChange::Outcome::superseded)
    co_return CaptureFilterRefreshResult{};
  if (!replaced.isRunning()) {
    // The supervisor has let go of both streams and stops them.
    auto fail = engine.failActiveStream(kFilterFailureMessage);
    co_await std::move(fail);
    engine.record("protected_share_stream_replacement_failed", {{"error", replaced.error}});
    co_return CaptureFilterRefreshResult{};
  }

  engine.adoptFilter(snapshot, *display);
  engine.records().callbackMonitor->setLastPixelTime(runtime::uptime());
  engine.showOutputSize(supervisor->activeConfiguration());
  engine.minimumAcceptedFrameTimestamp_ = runtime::uptime();
  engine.isFrameDeliveryEnabled_ = true;
  engine.continueCaptureInNewGeneration(kCleanCapturesAfterReplacement);
  engine.scheduleScreenshotFallback();
  engine.countHeldFrame();
  engine.statusMessage.set("Updated protected app capture filter; holding current frame");
  engine.record("protected_share_stream_replaced_for_filter",
                {{"displayChanged", displayChanged ? "true" : "false"},
                 {"filterChanged", filterChanged ? "true" : "false"},
                 {"excludedApps", std::to_string(snapshot.excludedBundleIDs.size())}});
  co_return CaptureFilterRefreshResult{true, false};
}

}  // namespace corvane::verification
