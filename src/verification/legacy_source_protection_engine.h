#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "capture/capture_stream_supervisor.h"
#include "capture/protected_capture_filter.h"
#include "capture/protected_capture_stall_check.h"
#include "capture/protected_frame_intake.h"
#include "capture/protected_output_surface.h"
#include "capture/protected_screenshot_fallback.h"
#include "model/detected_item.h"
#include "model/event_recorder.h"
#include "model/protected_frame_analysis_result.h"
#include "model/protected_redaction.h"
#include "model/protected_rendered_frame.h"
#include "model/protected_share_metrics.h"
#include "model/protected_share_phase.h"
#include "model/sensitive_content.h"
#include "platform/desktop.h"
#include "platform/text_recognizer.h"
#include "runtime/published.h"
#include "runtime/serial_queue.h"
#include "runtime/task.h"
#include "runtime/worker_threads.h"
#include "verification/candidate_text_pass.h"
#include "verification/protected_analysis_cancellation.h"
#include "verification/protected_analysis_candidate.h"
#include "verification/protected_clean_change_gate.h"
#include "verification/protected_frame_pipeline.h"
#include "verification/protected_source_overlay_update.h"
#include "verification/source_frame_masking_engine.h"
#include "verification/source_overlay_snapshot.h"
#include "verification/source_overlay_verification_result.h"
#include "verification/verification_capture_filter.h"

namespace corvane::verification {

inline constexpr const char* kProtectedShareAnalysisQueueLabel =
    "com.pemberquist.corvane.protected-share.analysis";

// The platform services and collaborators the verification engine works with.
struct LegacySourceProtectionEngineServices {
  platform::Desktop desktop;
  std::string ownBundleIdentifier;  // this application's id: always left out, owns the overlays
  std::int32_t ownProcessIdentifier = 0;
  // Left out in addition to the fixed system surfaces.
  std::set<std::string> additionalExcludedBundleIDs;
  // Where the engine logs its steps; empty: the process's event log.
  model::EventRecorder recorder;
  // The threads the change detector spreads its tiles over; absent: a set of its own.
  std::shared_ptr<runtime::WorkerThreads> tileWorkers;
  // Reads the text of analysed frames (on the analysis queue). Required for a start.
  std::shared_ptr<platform::TextRecognizer> textRecognizer;
};

// What the owner sets before a start: what to leave out, which display, what to look for and the
// windows that draw the source masks on the real screen.
struct LegacySourceProtectionConfiguration {
  std::set<std::string> protectedAppBundleIDs;
  std::optional<std::uint32_t> selectedDisplayID;
  std::set<model::SensitiveKind> enabledKinds = allSensitiveKinds();
  std::vector<std::string> alwaysHideWords;
  std::vector<std::string> neverHideWords;
  bool maskAllRecognizedText = true;
  std::set<std::uint32_t> sourceOverlayWindowIDs;

  static std::set<model::SensitiveKind> allSensitiveKinds();
};

// The verification engine: captures one display under a content filter that leaves out the
// protected applications, this application (but for its source-mask overlays) and the system
// surfaces, moves the newest frame through the frame verification pipeline and publishes into
// its own output surface only frames that were analysed, redacted and verified.
//
// Published state and every public operation belong to the main actor. Stream callbacks and the
// drain run on the samples queue, the pipeline on its frames queue; they share only the
// lock-guarded hand-off records. Every task and completion holds the engine weakly.
//
// Generations make late work harmless: the capture generation (one stream and delivery
// configuration), the source context (the desktop or application in front), the lifecycle (one
// start to its stop) and the generation of the analysis in flight.
class LegacySourceProtectionEngine
    : public std::enable_shared_from_this<LegacySourceProtectionEngine> {
 public:
  // Time limits and intervals, in seconds.
  static constexpr double kStopTimeout = capture::CaptureStreamSupervisor::kStopTimeout;
  static constexpr double kStartTimeout = capture::CaptureStreamSupervisor::kStartTimeout;
  static constexpr double kFrameCadenceInterval = 1.0 / 30.0;
  // Samples the stream may hold in flight.
  static constexpr int kStreamQueueDepth = 8;
  static constexpr double kMinimumAnalysisInterval = 0.45;
  // No verified first frame this long after the stream started: fail closed. A hold, a baseline
  // that waits for the user and (a few times) an analysis in flight extend it.
  static constexpr double kFirstFrameTimeout = 20.0;
  static constexpr int kFirstFrameAnalysisExtensions = 3;
  static constexpr double kLivenessCheckInterval = 2.0;
  static constexpr double kLiveMonitoringGrace = 3.0;
  static constexpr double kPresentationStallThreshold = 10.0;
  static constexpr double kScreenshotInterval = 0.2;
  static constexpr double kMetricsInterval = 1.0;
  static constexpr double kPerformanceReportInterval = 5.0;
  static constexpr int kCleanCapturesAfterReplacement = 2;

  static constexpr const char* kIdleStatus = "Protected Share is idle";
  static constexpr const char* kStartingStatus = "Starting Protected Share";
  static constexpr const char* kAwaitingFirstFrameStatus = "Verifying the first protected frame";
  static constexpr const char* kStoppingStatus = "Stopping Protected Share";
  static constexpr const char* kCaptureStalledMessage =
      "Screen capture stopped updating. Stop Protected Share or retry the session.";
  static constexpr const char* kOutputStalledMessage =
      "Protected output stopped updating. Stop Protected Share or retry the session.";
  static constexpr const char* kFilterFailureMessage =
      "Protected capture filter could not be applied. Stop Protected Share and try again.";
  static constexpr const char* kFirstFrameMissingMessage =
      "Protected Share could not verify a first frame. Stop Protected Share and try again.";
  static constexpr const char* kWaitingForProtectedAppStatus =
      "Waiting for the new protected app to enter the capture filter";
  static constexpr const char* kMaskSurfaceUnavailableStatus =
      "Source mask surface is unavailable; holding the current protected output";

  // An analysed frame that waits for the user to approve it as the (new) baseline.
  struct PendingBaselineApproval {
    SharedAnalysisCandidate candidate;
    model::ProtectedFrameAnalysisResult result;
    bool replacesPublishedBaseline = false;
    std::uint64_t sourceOverlayRevision = 0;
  };

  static std::shared_ptr<LegacySourceProtectionEngine> make(
      LegacySourceProtectionEngineServices services);
  // Use make(): the engine must be owned by a shared_ptr.
  explicit LegacySourceProtectionEngine(LegacySourceProtectionEngineServices services);
  ~LegacySourceProtectionEngine();
  LegacySourceProtectionEngine(const LegacySourceProtectionEngine&) = delete;
  LegacySourceProtectionEngine& operator=(const LegacySourceProtectionEngine&) = delete;

  // Published state (main actor).
  runtime::Published<model::ProtectedSharePhase> phase{model::ProtectedSharePhase::idle};
  runtime::Published<std::string> statusMessage{std::string(kIdleStatus)};
  runtime::Published<std::optional<model::ProtectedRenderedFrame>> renderedFrame{std::nullopt};
  runtime::Published<std::vector<model::DetectedItem>> detectedItems{{}};
  runtime::Published<model::ProtectedShareMetrics> metrics{model::ProtectedShareMetrics::empty()};
  runtime::Published<std::optional<std::string>> lastError{std::nullopt};
  runtime::Published<bool> isHoldingPreviousVerifiedFrame{false};
  runtime::Published<bool> isAnalyzingFrame{false};
  runtime::Published<int> receivedSampleCount{0};
  runtime::Published<bool> isPublishingPaused{false};
  runtime::Published<bool> isSourceContextTransitioning{false};
  runtime::Published<bool> isCaptureFilterTransitioning{false};
  runtime::Published<std::optional<std::string>> sourceContextRecoveryMessage{std::nullopt};
  runtime::Published<std::optional<std::string>> foregroundProtectedApplicationName{std::nullopt};
  runtime::Published<platform::SharedPixelBuffer> pendingBaselinePreview{nullptr};
  runtime::Published<int> pendingBaselineRedactionCount{0};
  runtime::Published<std::vector<std::string>> pendingBaselineReviewItems{{}};
  runtime::Published<std::vector<model::ProtectedRedaction>> pendingBaselineRedactions{{}};
  runtime::Published<bool> pendingBaselineIsRefresh{false};
  runtime::Published<ProtectedSourceOverlayUpdate> sourceOverlayUpdate{{}};

  // Owner operations (main actor).

  // Takes effect at the next start; a running capture picks up the exclusions and overlay windows
  // at its next filter refresh.
  void configure(LegacySourceProtectionConfiguration configuration);
  // Starts a capture (only from idle, permissionRequired or failed) and returns once the stream
  // runs or the start failed; the outcome is in phase, lastError and statusMessage.
  runtime::Task<void> start();
  // Ends the run: cancels the watchdogs, the screenshot fallback and the analysis, clears the
  // output, stops the stream within kStopTimeout and ends idle.
  runtime::Task<void> stop();
  // Holds (or releases) the published output; frames are still counted.
  void setPublishingPaused(bool paused);
  // The desktop or the application in front is changing: the output holds, and work of the old
  // context is refused from here on. `recoveryMessage` explains the hold to the user.
  void beginSourceContextTransition(std::optional<std::string> recoveryMessage = std::nullopt);
  // The new context is in front: capture resumes in a new capture generation.
  void endSourceContextTransition();
  void setForegroundProtectedApplication(std::optional<std::string> name);

  // Baseline review and source masks (main actor).

  // The user approves the pending baseline: it is published and the review closes. Returns false
  // (and changes nothing) when no review is pending or its capture is no longer the current one.
  bool approvePendingBaseline();
  // The user turns the pending baseline down: nothing is published, the review closes and the
  // output keeps the last verified frame.
  void rejectPendingBaseline();
  // Asks for a new baseline: the pipeline's next full-frame audit is analysed as a baseline
  // review that the user approves like the first one.
  void requestBaselineRefresh();
  // The owner reports the source masks its overlay now shows, under a new revision. When they
  // cover the masks this engine asked for, frames of that revision can certify them.
  void installSourceOverlaySnapshot(SourceOverlaySnapshot snapshot);

  // Requested source masks that no frame has certified this long (not counting holds of the
  // output) fail the engine: every frame would be held without end.
  static constexpr double kSourceMaskAuthorizationTimeout = 10.0;
  static constexpr const char* kSourceMasksNotShownMessage =
      "Source masks did not appear on the screen in time, so the protected output cannot be "
      "updated safely. Stop Protected Share and try again.";
  // Every source mask asked of the owner during this capture, merged: the set its overlay should
  // show (each update carries only the new masks).
  const std::vector<model::ProtectedRedaction>& sourceOverlayRedactions() const {
    return sourceOverlayRedactions_;
  }

  // Pure operations on redaction lists; callable from any thread. Rects are normalised.
  // The redactions of `redactions` that no protection (grown by 0.002 on every side) contains.
  static std::vector<model::ProtectedRedaction> uncoveredSourceRedactions(
      const std::vector<model::ProtectedRedaction>& redactions,
      const std::vector<model::ProtectedRedaction>& protections);
  // The first item of each kind, text and (thousandth-truncated) origin.
  static std::vector<model::DetectedItem> deduplicatedDetectedItems(
      const std::vector<model::DetectedItem>& items);
  // One "label: count" line per kind of redaction, sorted by label.
  static std::vector<std::string> baselineReviewItems(
      const std::vector<model::ProtectedRedaction>& redactions);
  // The existing redactions that are not source masks and meet none of the changed rects.
  static std::vector<model::ProtectedRedaction> carriedForwardRedactions(
      const std::vector<model::ProtectedRedaction>& existing,
      const std::vector<platform::Rect>& changedRects);

  // Keeps the running stream's filter equal to what the current content requires, replacing the
  // stream when it must change (see the .cpp). One refresh runs at a time; a caller that comes
  // while one runs gets that refresh's result.
  runtime::Task<CaptureFilterRefreshResult> refreshCaptureFilter(
      std::optional<capture::CaptureApplicationIdentity> expectedProtectedApplication =
          std::nullopt);

  // Bookkeeping shared with analysis and publication (main actor). The output is cleared (a run
  // starts or stops) or keeps showing the last verified frame.
  void advanceCaptureGeneration(int cleanFramesRequired,
                                OutputOnReset output = OutputOnReset::clear);
  // A new capture generation within the same run (a new desktop, a replaced stream): the last
  // verified frame stays on the output, and a baseline refresh the user asked for, or its review
  // still open, is asked of the new capture instead of being dropped with the old one.
  void continueCaptureInNewGeneration(int cleanFramesRequired);
  void syncFrameDeliveryState(bool resetCounters);
  void finishAnalysisIfCurrent(std::uint64_t generation);
  void clearPendingBaselineApproval();
  // Fails the engine with `message` and stops the stream (kStopTimeout); records no event.
  runtime::Task<void> failActiveStream(std::string message);
  // The stream `streamIdentity` stopped by itself with `message`.
  void failStreamAfterDelegateError(const std::string& message, std::uint64_t streamIdentity);

  // Watchdogs and metrics (main actor).
  // (Re)starts the liveness checks; the publication of a verified frame calls it.
  void scheduleLivenessWatchdog();
  runtime::Task<void> verifyLiveStreamHealth();
  void scheduleScreenshotFallback();
  void evaluateScreenshotFallback();
  void stopScreenshotFallback();
  void publishFrameCountersIfNeeded();
  void publishFrameDeliveryReport();

  // The filter a capture of `display` needs now.
  capture::CaptureFilterSnapshot contentFilterSnapshot(
      const platform::ShareableDisplay& display, const platform::ShareableContent& content) const;

  // Introspection for the owner and tests.
  const std::shared_ptr<capture::ProtectedOutputSurface>& outputSurface() const { return surface_; }
  const std::shared_ptr<ProtectedFramePipeline>& framePipeline() const { return pipeline_; }
  const capture::ProtectedFrameIntake::Records& records() const { return intake_->records(); }
  std::uint64_t captureGeneration() const { return captureGeneration_; }
  std::uint64_t sourceContextGeneration() const { return sourceContextGeneration_; }
  std::uint64_t lifecycleGeneration() const { return lifecycleGeneration_; }
  std::optional<std::uint64_t> analyzingGeneration() const { return analyzingGeneration_; }
  int cleanFramesRequiredBeforePublish() const { return cleanFramesRequiredBeforePublish_; }
  bool isFrameDeliveryEnabled() const { return isFrameDeliveryEnabled_; }
  bool isRefreshingCaptureFilter() const { return isRefreshingCaptureFilter_; }
  bool hasPendingBaselineApproval() const { return pendingBaselineApproval_.has_value(); }
  bool hasStream() const { return supervisor_->stream() != nullptr; }
  std::optional<std::uint32_t> activeDisplayID() const { return activeDisplayID_; }
  const platform::Rect& activeDisplayFrame() const { return activeDisplayFrame_; }
  const std::set<capture::CaptureApplicationIdentity>& activeCaptureApplicationIdentities() const {
    return activeCaptureApplicationIdentities_;
  }
  const std::set<std::uint32_t>& activeCaptureOverlayWindowIDs() const {
    return activeCaptureOverlayWindowIDs_;
  }
  const ProtectedCleanChangeGate& cleanChangeGate() const { return cleanChangeGate_; }
  // Candidates the pipeline handed to analysis in this engine's life.
  std::uint64_t candidatesReceived() const { return candidatesReceived_; }
  bool isScreenshotFallbackActive() const { return screenshots_->isActive(); }

 private:
  static runtime::Task<void> runStart(std::shared_ptr<LegacySourceProtectionEngine> self);
  static runtime::Task<void> runStop(std::shared_ptr<LegacySourceProtectionEngine> self);
  static runtime::Task<void> runFailActiveStream(std::weak_ptr<LegacySourceProtectionEngine> weak,
                                                 std::string message);
  static runtime::Task<CaptureFilterRefreshResult> runRefresh(
      std::weak_ptr<LegacySourceProtectionEngine> weak,
      std::optional<capture::CaptureApplicationIdentity> expected);
  static runtime::Task<CaptureFilterRefreshResult> awaitRefresh(
      runtime::TaskHandle<CaptureFilterRefreshResult> refresh);
  static runtime::Task<void> runFirstFrameWatchdog(std::weak_ptr<LegacySourceProtectionEngine> weak,
                                                   std::uint64_t lifecycle);
  static runtime::Task<void> runLivenessWatchdog(std::weak_ptr<LegacySourceProtectionEngine> weak);
  static runtime::Task<void> runScreenshotFallback(
      std::weak_ptr<LegacySourceProtectionEngine> weak);

  // The pipeline handed out a candidate (main actor). Text analysis takes it from here.
  void analyzeCandidate(SharedAnalysisCandidate candidate);
  void handleSupersedeRequest();
  // Asks the pipeline again for the full-frame audit a baseline refresh waits for, when
  // `candidate` was that audit and could not be used.
  void retryBaselineRefreshIfNeeded(const ProtectedAnalysisCandidate& candidate);

  // Analysis (main actor unless named otherwise).
  // Whether the analysis of `candidate` (its capture generation and source context) is still the
  // engine's.
  bool isCurrentAnalysis(const ProtectedAnalysisCandidate& candidate) const;
  // The source-mask check of an admitted candidate is done; decide and run the text pass.
  void continueAnalysisAfterSourceMaskVerification(
      SharedAnalysisCandidate candidate, SourceOverlaySnapshot sourceOverlaySnapshot,
      SourceOverlayVerificationResult sourceOverlayVerification,
      bool sourceOverlayVerificationWasPerformed,
      std::shared_ptr<ProtectedAnalysisCancellation> analysisCancellation);
  // The analysis failed: the candidate goes back and the last verified frame stays.
  void holdFrameAfterAnalysisFailure(const SharedAnalysisCandidate& candidate, int durationMS);
  // Turns the candidate down and counts a held frame; ends the analysis when it is current, or
  // (`onlyWhenAnalyzing`) only when `analyzingGeneration` is the candidate's generation.
  void holdCandidate(const SharedAnalysisCandidate& candidate, bool onlyWhenAnalyzing);
  // Adds one to the held frames of the metrics, with the analysis time when one was spent.
  void countHeldFrame(std::optional<int> analysisDurationMS = std::nullopt);

  // Publication (main actor).
  void publishVerifiedFrame(SharedAnalysisCandidate candidate,
                            model::ProtectedFrameAnalysisResult result,
                            std::vector<model::ProtectedRedaction> sourceRedactions,
                            bool isBaselineReview, std::uint64_t sourceOverlayRevision,
                            std::vector<model::ProtectedRedaction> protectedSourceRedactions);
  void commitVerifiedFrame(const SharedAnalysisCandidate& candidate,
                           const model::ProtectedFrameAnalysisResult& result,
                           bool replaceExistingRedactions);
  void beginPendingSourceMaskAuthorization(const std::vector<model::ProtectedRedaction>& redactions,
                                           const ProtectedAnalysisCandidate& candidate);
  void mergeSourceOverlayRedactions(const std::vector<model::ProtectedRedaction>& redactions,
                                    const std::vector<model::DetectedItem>& detectedItems);
  std::vector<model::ProtectedRedaction> redactionsReplacingSourceOverlays(
      const std::vector<model::ProtectedRedaction>& sourceOverlays) const;
  // What the source masks allow a frame at publication: the protected set and whether the masks
  // count as verified; nothing when the frame was held for them.
  struct SourceMaskAuthorization {
    std::vector<model::ProtectedRedaction> protectedSet;
    bool sourceMasksVerified = false;
  };
  std::optional<SourceMaskAuthorization> authorizeSourceMasks(
      const SharedAnalysisCandidate& candidate, const model::ProtectedFrameAnalysisResult& result,
      const std::vector<model::ProtectedRedaction>& sourceRedactions,
      std::uint64_t sourceOverlayRevision,
      const std::vector<model::ProtectedRedaction>& protectedSourceRedactions);
  // Holds the frame until its source masks are shown and certified.
  void holdForSourceMasks(const SharedAnalysisCandidate& candidate, int durationMS);
  void watchSourceMaskAuthorization();
  static runtime::Task<void> runSourceMaskAuthorizationWatch(
      std::weak_ptr<LegacySourceProtectionEngine> weak, std::uint64_t generation);
  // Offers the analysed frame to the user as the (new) baseline.
  void openBaselineReview(const SharedAnalysisCandidate& candidate,
                          model::ProtectedFrameAnalysisResult result,
                          std::uint64_t sourceOverlayRevision);
  // The pipeline reported whether the committed frame reached the output.
  void finishVerifiedCommit(const SharedAnalysisCandidate& candidate,
                            const model::ProtectedFrameAnalysisResult& result,
                            std::vector<model::ProtectedRedaction> finalRedactions, bool published);
  friend struct LegacySourceProtectionEngineTestAccess;

  // Text analysis of an admitted candidate (legacy_source_protection_engine_text_pass.cpp).
  // The expected masks are looked for again in a capture this often, and while clean captures
  // are owed a filter that cannot be confirmed this long fails the run.
  static constexpr double kSourceMaskRecheckInterval = 1.0;
  static constexpr double kCaptureFilterConfirmationTimeout = 10.0;
  static constexpr const char* kAuditingStatus = "Protected Share live; auditing changed regions";
  static constexpr const char* kCaptureFilterUnconfirmedMessage =
      "The protected capture filter could not be confirmed. Stop Protected Share and try again.";
  static constexpr const char* kTextRecognitionUnavailableMessage =
      "Text recognition is unavailable, so Protected Share cannot verify any frame.";
  // Whether the analysis goes on after the source-mask check; holds the candidate when not.
  bool acceptSourceMaskOutcome(const SharedAnalysisCandidate& candidate,
                               const SourceOverlaySnapshot& snapshot,
                               const SourceOverlayVerificationResult& verification,
                               bool verificationWasPerformed);
  static runtime::Task<void> runTextAnalysis(std::weak_ptr<LegacySourceProtectionEngine> weak,
                                             CandidateTextPass pass);
  // Whether the candidate may be read now; holds it (or fails the run) when the capture is not
  // yet confirmed clean.
  static runtime::Task<bool> confirmCleanCapture(std::weak_ptr<LegacySourceProtectionEngine> weak,
                                                 SharedAnalysisCandidate candidate);
  void dispatchTextPass(CandidateTextPass pass);
  void finishTextPass(CandidateTextPass pass, model::ProtectedFrameAnalysisResult result,
                      SourceMaskPartition masks);
  SourceFrameMaskingEngine sourceFrameMaskingEngine_;  // its analyzer reads the text
  std::optional<runtime::Uptime> captureFilterUnconfirmedSince_;

  // Steps 1 to 6 of the failure teardown, common to both failure paths.
  void tearDownCapture();
  void enterFailedState(const std::string& message);
  void cancelRunTasks();
  bool isCurrentLifecycle(std::uint64_t lifecycle) const {
    return lifecycle == lifecycleGeneration_;
  }
  bool isRunCurrent(std::uint64_t lifecycle) const;
  bool sourceMasksPending() const;
  capture::CaptureExclusionPolicy exclusionPolicy() const;
  void adoptFilter(const capture::CaptureFilterSnapshot& snapshot,
                   const platform::ShareableDisplay& display);
  void showOutputSize(const platform::StreamConfiguration& configuration);
  void record(const std::string& event, std::map<std::string, std::string> fields = {}) const;

  LegacySourceProtectionEngineServices services_;
  std::shared_ptr<capture::ProtectedOutputSurface> surface_;
  std::shared_ptr<runtime::SerialQueue> sampleQueue_;
  std::shared_ptr<runtime::SerialQueue> analysisQueue_;
  std::shared_ptr<capture::ProtectedFrameIntake> intake_;
  std::shared_ptr<capture::CaptureStreamSupervisor> supervisor_;
  std::shared_ptr<capture::ProtectedScreenshotFallback> screenshots_;
  std::shared_ptr<ProtectedFramePipeline> pipeline_;

  runtime::TaskHandle<void> firstFrameWatchdogTask_;
  runtime::TaskHandle<void> livenessWatchdogTask_;
  runtime::TaskHandle<void> screenshotFallbackTask_;
  runtime::TaskHandle<CaptureFilterRefreshResult> captureFilterRefreshTask_;

  // Configuration.
  std::set<model::SensitiveKind> enabledKinds_ =
      LegacySourceProtectionConfiguration::allSensitiveKinds();
  std::vector<std::string> alwaysHideWords_;
  std::vector<std::string> neverHideWords_;
  bool maskAllRecognizedText_ = true;
  std::set<std::string> protectedAppBundleIDs_;
  std::optional<std::uint32_t> selectedDisplayID_;
  std::set<std::uint32_t> sourceOverlayWindowIDs_;

  // The running capture.
  std::optional<std::uint32_t> activeDisplayID_;
  platform::Rect activeDisplayFrame_;
  std::set<capture::CaptureApplicationIdentity> activeCaptureApplicationIdentities_;
  std::set<std::uint32_t> activeCaptureOverlayWindowIDs_;
  bool isFrameDeliveryEnabled_ = false;
  std::optional<runtime::Uptime> minimumAcceptedFrameTimestamp_;

  // Generations.
  std::uint64_t captureGeneration_ = 0;
  std::optional<std::uint64_t> analyzingGeneration_;
  std::uint64_t sourceContextGeneration_ = 0;
  std::optional<std::uint64_t> analyzingSourceContextGeneration_;
  std::uint64_t lifecycleGeneration_ = 0;

  // Analysis, baseline and source masks (used by analysis and publication).
  std::shared_ptr<ProtectedAnalysisCancellation> activeAnalysisCancellation_;
  int cleanFramesRequiredBeforePublish_ = 0;
  ProtectedCleanChangeGate cleanChangeGate_;
  std::optional<PendingBaselineApproval> pendingBaselineApproval_;
  std::optional<std::uint64_t> pendingBaselineRefreshRequestID_;
  std::uint64_t nextBaselineRefreshRequestID_ = 0;
  SourceOverlaySnapshot expectedSourceOverlaySnapshot_;  // the masks the owner has drawn
  std::optional<std::uint64_t> verifiedSourceOverlayRevision_;
  runtime::Uptime lastSourceOverlayVerificationTime_ = -1e18;
  bool hasReportedSourceMaskCaptureMismatch_ = false;
  std::vector<model::ProtectedRedaction> pendingSourceMaskRedactions_;
  std::optional<std::uint64_t> pendingSourceMaskRevision_;
  std::optional<std::uint64_t> pendingSourceMaskGeneration_;
  std::optional<std::uint64_t> pendingSourceMaskContextGeneration_;
  std::vector<model::ProtectedRedaction> sourceOverlayRedactions_;
  runtime::Uptime lastSourceMaskAuthorizationHoldReportTime_ = -1e18;
  runtime::TaskHandle<void> sourceMaskAuthorizationWatchTask_;
  bool isRefreshingCaptureFilter_ = false;
  std::optional<capture::CaptureApplicationIdentity> pendingCaptureFilterApplicationIdentity_;

  // Timing and counters, on the uptime clock.
  std::optional<runtime::Uptime> lastSampleTime_;
  std::optional<runtime::Uptime> lastPublishedFrameTime_;
  std::optional<runtime::Uptime> liveHealthMonitoringStartedAt_;
  std::optional<runtime::Uptime> presenterSeenSince_;
  runtime::Uptime streamStartedAt_ = 0;
  int firstFrameWatchdogExtensionCount_ = 0;
  capture::ProtectedCaptureStallCheck captureStall_;
  int capturedFrameCount_ = 0;
  int outputFrameCount_ = 0;
  runtime::Uptime lastMetricsPublishTime_ = -1e18;
  int lastRateCapturedFrameCount_ = 0;
  int lastRateOutputFrameCount_ = 0;
  int lastRateVerifiedFrameCount_ = 0;
  runtime::Uptime lastPerformanceReportTime_ = -1e18;
  std::uint64_t candidatesReceived_ = 0;
};

}  // namespace corvane::verification
