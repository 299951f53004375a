#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "capture/capture_stream_supervisor.h"
#include "capture/protected_capture_filter.h"
#include "capture/protected_capture_stall_check.h"
#include "capture/protected_cursor_tracker.h"
#include "capture/protected_frame_intake.h"
#include "capture/protected_output_surface.h"
#include "capture/protected_screenshot_fallback.h"
#include "model/event_recorder.h"
#include "model/protected_rendered_frame.h"
#include "model/protected_share_metrics.h"
#include "model/protected_share_phase.h"
#include "platform/desktop.h"
#include "platform/permissions.h"
#include "platform/screen_capture.h"
#include "platform/screens.h"
#include "platform/workspace.h"
#include "runtime/generation.h"
#include "runtime/published.h"
#include "runtime/task.h"

namespace corvane::capture {

// The platform services the engine works with, handed over explicitly by its owner.
struct ProtectedShareEngineServices {
  platform::Desktop desktop;
  std::string ownBundleIdentifier;  // Corvane's own application id, always left out
  std::int32_t ownProcessIdentifier = 0;
  // Left out in addition to the fixed system surfaces of ProtectedSystemSurfaceCapturePolicy.
  std::set<std::string> additionalExcludedBundleIDs;
  // Where the engine logs its steps; empty: the process's event log.
  model::EventRecorder recorder;
};

// The Protected Share capture engine: captures the chosen display under a content filter that
// leaves out the excluded applications, Corvane itself, the system surfaces and (on request) the
// desktop icons, and publishes the newest frame, at most 60 a second and without copying it, to
// its output surface. It holds the last frame through pauses, desktop switches, filter changes and
// file-manager relaunches, and fails closed with a message when capture stalls or stops.
//
// Everything public runs on the main actor. Stream callbacks and the drain run on the samples
// queue, publication on the relay queue; they share only the lock-guarded hand-off records.
//
// Four generation counters make late work harmless: the session (one start to its stop), the
// source context (one desktop), the capture (one stream and delivery configuration) and the
// filter refresh (one request to change the filter).
class ProtectedShareEngine : public std::enable_shared_from_this<ProtectedShareEngine> {
 public:
  // Time limits, in seconds.
  static constexpr double kShareableContentTimeout =
      CaptureStreamSupervisor::kShareableContentTimeout;
  static constexpr double kStartTimeout = CaptureStreamSupervisor::kStartTimeout;
  static constexpr double kStopTimeout = CaptureStreamSupervisor::kStopTimeout;
  // A filter that must cover a newly excluded application has this long to come into force
  // (content listing plus a stream replacement); after that the session fails closed.
  static constexpr double kCaptureFilterApplyTimeout = 4.0;
  static constexpr double kCaptureFilterRetryInterval = 0.25;
  // No first frame this long after the stream started (not counting holds): fail closed.
  static constexpr double kFirstFrameTimeout = 10.0;
  // Stall detection, checked every kLivenessCheckInterval once the first frame is out and
  // kLiveMonitoringGrace after the stream started. Capture is quiet when the stream has reported
  // no sample (a changed frame or an "unchanged" idle sample) and nothing was published for
  // kQuietThreshold; a quiet capture has stalled when user input that came after the last
  // activity has gone unanswered for kUnfollowedInputThreshold. A static screen with no input is
  // never a stall. With a canvas attached, a presentation pending for
  // kPresentationStallThreshold is an output stall.
  static constexpr double kLivenessCheckInterval = 2.0;
  static constexpr double kLiveMonitoringGrace = 3.0;
  static constexpr double kQuietThreshold = ProtectedCaptureStallCheck::kQuietThreshold;
  static constexpr double kUnfollowedInputThreshold =
      ProtectedCaptureStallCheck::kUnfollowedInputThreshold;
  static constexpr double kPresentationStallThreshold = 10.0;
  // Screenshot fallback: while the stream has delivered nothing for kScreenshotSilence and either
  // no frame is out yet or the user gave input within kScreenshotInputWindow, one filtered
  // screenshot at a time (checked every kScreenshotInterval, so at most 5 a second) keeps the
  // output moving.
  static constexpr double kScreenshotInterval = 0.2;
  static constexpr double kScreenshotSilence = ProtectedScreenshotFallback::kSilence;
  static constexpr double kScreenshotInputWindow = ProtectedScreenshotFallback::kInputWindow;
  static constexpr double kMetricsInterval = 1.0;
  static constexpr double kPerformanceReportInterval = 5.0;

  static std::shared_ptr<ProtectedShareEngine> make(ProtectedShareEngineServices services);
  // Use make(): the engine must be owned by a shared_ptr.
  explicit ProtectedShareEngine(ProtectedShareEngineServices services);
  ~ProtectedShareEngine();
  ProtectedShareEngine(const ProtectedShareEngine&) = delete;
  ProtectedShareEngine& operator=(const ProtectedShareEngine&) = delete;

  // Published state (main actor).
  runtime::Published<model::ProtectedSharePhase> phase{model::ProtectedSharePhase::idle};
  runtime::Published<std::string> statusMessage{std::string(kIdleStatus)};
  runtime::Published<std::optional<model::ProtectedRenderedFrame>> renderedFrame{std::nullopt};
  runtime::Published<std::optional<std::string>> lastError{std::nullopt};
  runtime::Published<model::ProtectedShareMetrics> metrics{model::ProtectedShareMetrics::empty()};
  runtime::Published<bool> isPublishingPaused{false};
  runtime::Published<bool> isSourceContextTransitioning{false};
  runtime::Published<bool> isHoldingPreviousVerifiedFrame{false};
  runtime::Published<bool> isCaptureFilterTransitioning{false};
  runtime::Published<std::optional<std::string>> sourceContextRecoveryMessage{std::nullopt};
  runtime::Published<std::optional<std::string>> foregroundProtectedApplicationName{std::nullopt};
  // The user's excluded application ids that the filter in force was made with: set whenever a
  // stream starts with a filter, emptied when the session stops.
  runtime::Published<std::set<std::string>> protectedBundleIDsInForce{{}};

  const std::shared_ptr<ProtectedOutputSurface>& outputSurface() const { return surface_; }
  // The desktop-icon option of the running capture.
  bool hideDesktopIconsInProtectedShare() const { return hideDesktopIcons_; }

  // Starts a capture (only from idle, permissionRequired or failed) and returns once it has
  // started or failed; the outcome is in phase, lastError and statusMessage. The overlay window
  // numbers are accepted for the caller's convenience and not used.
  runtime::Task<void> start(std::set<std::string> protectedAppBundleIDs, bool hideDesktopIcons,
                            std::set<std::uint32_t> sourceOverlayWindowIDs,
                            std::optional<std::uint32_t> selectedDisplayID);
  // Ends the session: cancels the filter refresh, the watchdogs and the screenshot fallback, stops
  // cursor tracking, clears the output, stops the stream (kStopTimeout) and ends idle.
  runtime::Task<void> stop();

  void updateCaptureConfiguration(std::set<std::string> protectedAppBundleIDs,
                                  bool hideDesktopIcons,
                                  std::set<std::uint32_t> sourceOverlayWindowIDs,
                                  std::optional<std::uint32_t> selectedDisplayID);
  void refreshCaptureFilterForApplicationChange(
      bool freezeUntilApplied, std::optional<std::string> expectedProtectedBundleID,
      std::optional<std::int32_t> expectedProtectedProcessID);
  void setForegroundProtectedApplication(std::optional<std::string> name);
  void setPublishingPaused(bool paused);
  void setSourceContextTransitioning(bool transitioning);
  void handleFinderRelaunch();

  // Introspection for the owner and tests.
  std::uint64_t sessionGeneration() const { return sessionGeneration_.current(); }
  std::uint64_t sourceContextGeneration() const { return sourceContextGeneration_.current(); }
  std::uint64_t captureGeneration() const { return captureGeneration_.current(); }
  std::uint64_t filterRefreshGeneration() const { return filterRefreshGeneration_.current(); }
  std::optional<CaptureFilterSnapshot> activeCaptureFilter() const {
    return supervisor_->activeFilter();
  }
  const ProtectedFrameIntake::Records& records() const { return intake_->records(); }
  std::uint64_t publishedFrameCount() const { return publishedFrameCount_; }

  static constexpr const char* kIdleStatus = "Protected Share is idle";
  static constexpr const char* kLiveStatus = "Protected Share live";
  static constexpr const char* kPausedStatus = "Protected Share paused on the current frame";
  static constexpr const char* kFilterFailureMessage =
      "Protected app filter could not be applied. Stop Protected Share and try again.";
  static constexpr const char* kCaptureStalledMessage =
      "Screen capture stopped updating. Stop Protected Share or retry the session.";
  static constexpr const char* kOutputStalledMessage =
      "Protected output stopped updating. Stop Protected Share or retry the session.";
  static constexpr const char* kFirstFrameMissingMessage =
      "Screen capture did not deliver a first frame. Stop Protected Share and try again.";

 private:
  struct FilterRefreshRequest {
    std::uint64_t generation = 0;
    bool freeze = false;
    std::optional<CaptureApplicationIdentity> expected;
    runtime::Uptime deadline = 0;
  };

  struct StartRequest {
    std::set<std::string> protectedAppBundleIDs;
    bool hideDesktopIcons = false;
    std::optional<std::uint32_t> selectedDisplayID;
  };

  static runtime::Task<void> runStart(std::shared_ptr<ProtectedShareEngine> self,
                                      StartRequest request);
  static runtime::Task<void> runStop(std::shared_ptr<ProtectedShareEngine> self);
  static runtime::Task<void> runFilterRefresh(std::weak_ptr<ProtectedShareEngine> weakSelf);
  static runtime::Task<bool> applyCurrentFilter(std::shared_ptr<ProtectedShareEngine> self,
                                                std::uint64_t refreshGeneration,
                                                std::optional<CaptureApplicationIdentity> expected);
  static runtime::Task<void> runFirstFrameWatchdog(std::weak_ptr<ProtectedShareEngine> weakSelf,
                                                   std::uint64_t session);
  static runtime::Task<void> runLivenessWatchdog(std::weak_ptr<ProtectedShareEngine> weakSelf,
                                                 std::uint64_t session);
  static runtime::Task<void> runScreenshotFallback(std::weak_ptr<ProtectedShareEngine> weakSelf,
                                                   std::uint64_t session);

  // Main-actor steps.
  CaptureExclusionPolicy exclusionPolicy() const;
  void showOutputSize(const platform::StreamConfiguration& configuration);
  void advanceCaptureGeneration();
  void syncFrameDeliveryState(bool resetCounters);
  bool isCurrentSession(std::uint64_t session) const;
  bool isStillRunning(const CaptureApplicationIdentity& application) const;
  bool isHolding() const;
  void cancelSessionTasks();
  void cancelCaptureFilterRefresh();
  // The session's first stream runs: a refresh that waited for it is tried now.
  void resumeFilterRefreshAfterStart();
  void beginCaptureFilterTransition();
  void endCaptureFilterTransition();
  // A filter built from a window list read for refresh `readFor` is in force: the hold ends
  // unless a request that holds came after that one.
  void endCaptureFilterTransitionFor(std::uint64_t readFor);
  void failClosed(const std::string& message, const std::string& event,
                  std::map<std::string, std::string> fields, bool stopStream = true);
  void handleRelayedFrame(const ProtectedRelayedFrame& frame);
  void handleStreamStoppedWithError(std::uint64_t identity, const runtime::Error& error);
  void publishFrameDeliveryReport();
  void publishMetricsIfNeeded(bool force = false);
  bool verifyLiveStreamHealth();
  void scheduleScreenshotFallback();
  void evaluateScreenshotFallback();
  void stopScreenshotFallback(const char* reason);
  // Follows the pointer over `display` at its screen's scale.
  void startCursorTracking(const platform::ShareableDisplay& display);
  // The session's start has not yet got its first stream running.
  bool isFirstStreamStarting() const;
  void setLiveStatus();
  // After a desktop switch or a filter hold ended: the paused text while paused, the live text
  // once nothing holds the output; nothing while another hold goes on.
  void showStatusAfterHoldEnded();
  std::string liveStatusText() const;
  void record(const std::string& event, std::map<std::string, std::string> fields = {}) const;

  ProtectedShareEngineServices services_;
  std::shared_ptr<ProtectedOutputSurface> surface_;
  std::shared_ptr<runtime::SerialQueue> samplesQueue_;
  std::shared_ptr<ProtectedFrameIntake> intake_;
  std::shared_ptr<ProtectedCursorTracker> cursorTracker_;

  runtime::Generation sessionGeneration_;
  runtime::Generation sourceContextGeneration_;
  runtime::Generation captureGeneration_;
  runtime::Generation filterRefreshGeneration_;

  // Configuration of the running (or next) capture.
  std::set<std::string> protectedAppBundleIDs_;
  bool hideDesktopIcons_ = false;
  std::optional<std::uint32_t> selectedDisplayID_;

  // The running stream and what it was made with.
  std::shared_ptr<CaptureStreamSupervisor> supervisor_;
  bool isFrameDeliveryEnabled_ = false;
  std::optional<runtime::Uptime> minimumAcceptedTimestamp_;

  // Session bookkeeping.
  runtime::Uptime streamStartedAt_ = 0;
  runtime::Uptime startRequestedAt_ = 0;
  std::optional<runtime::Uptime> liveMonitoringStartedAt_;
  std::optional<runtime::Uptime> lastRelayedAt_;
  ProtectedCaptureStallCheck captureStall_;
  std::optional<runtime::WallTime> lastSampleDate_;
  int capturedFrameCount_ = 0;
  int receivedSampleCount_ = 0;
  std::uint64_t publishedFrameCount_ = 0;
  int lastRateCapturedFrameCount_ = 0;
  int lastRateOutputFrameCount_ = 0;
  runtime::Uptime lastMetricsPublishAt_ = -1e9;
  runtime::Uptime lastPerformanceReportAt_ = -1e9;

  std::optional<FilterRefreshRequest> pendingFilterRefresh_;
  // The newest refresh a hold waits for: it ends with a filter built from a window list read
  // for that refresh or a later one. Later refreshes that hold nothing do not keep it.
  std::uint64_t holdOwedThrough_ = 0;
  runtime::TaskHandle<void> filterRefreshTask_;
  // The refresh worker waits for the session's first stream to run before it tries again.
  bool filterRefreshAwaitsStart_ = false;
  runtime::TaskHandle<void> firstFrameWatchdogTask_;
  runtime::TaskHandle<void> livenessWatchdogTask_;
  runtime::TaskHandle<void> screenshotFallbackTask_;
  std::shared_ptr<ProtectedScreenshotFallback> screenshots_;
};

}  // namespace corvane::capture
