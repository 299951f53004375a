#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "capture/protected_captured_frame.h"
#include "capture/protected_output_surface.h"
#include "model/protected_redaction.h"
#include "platform/geometry.h"
#include "runtime/clock.h"
#include "runtime/serial_queue.h"
#include "verification/frame_change_detector.h"
#include "verification/protected_analysis_candidate.h"

namespace corvane::verification {

// What a reset does to the output: clear it (a run starts or stops), or keep showing the last
// verified frame (a replaced stream, a new desktop, a failure).
enum class OutputOnReset { clear, keepLastVerifiedFrame };

inline constexpr const char* kProtectedShareFramesQueueLabel =
    "com.pemberquist.corvane.protected-share.frames";

// Stands between the verification engine's capture drain and its text analysis. It compares the
// newest frame with the last verified one, decides what the output may show until the change is
// analysed (the verified output, held under the new frame's sequence, or a scroll-shifted guarded
// image), and hands at most one analysis candidate at a time to the engine. A committed candidate
// becomes, redacted, the new verified baseline and is published; a rejected one is dropped.
//
// ingest() runs on the capture thread and returns at once; every other operation does its work
// on the frames queue and holds the pipeline weakly. Both handlers are called on that queue.
//
// Two pairs of generations make late work harmless: the ingest pair, moved at once by reset()
// under the lock, refuses frames of older generations from that moment; the active pair moves
// when reset's queued part runs. Every publication to the surface is checked against the ingest
// pair, and reset() returns only when no publication is under way, so a reset never falls between
// the check and the publication. The lock is never held while the surface is called (the surface
// takes its own); surface observers must not call reset().
class ProtectedFramePipeline : public std::enable_shared_from_this<ProtectedFramePipeline> {
 public:
  using CandidateHandler = std::function<void(SharedAnalysisCandidate)>;
  using SupersedeHandler = std::function<void()>;
  // Whether the committed frame reached the output.
  using CommitCompletion = std::function<void(bool published)>;

  // A change of this share of the tiles or more is broad: nothing new shows until it is verified
  // (unless it is a scroll).
  static constexpr double kBroadChangeFraction = 0.35;
  static constexpr double kScrollMinimumFraction = 0.1;
  // A candidate in flight this long may be superseded by a newer change, once.
  static constexpr double kSupersedeAfterSeconds = 0.75;
  // Less of the analysis interval than this left over is no wait.
  static constexpr double kShortestAnalysisWait = 1e-6;
  static constexpr double kRegionHorizontalMargin = 0.25;
  static constexpr double kRegionVerticalMargin = 0.025;
  // Regions this large are analysed on the scaled frame, not on native crops.
  static constexpr double kNativeRegionAreaLimit = 0.95;
  static constexpr int kFullFrameAnalysisLongEdge = 3072;  // first frame and audits
  static constexpr int kAnalysisLongEdge = 1536;

  // Without a change detector every frame is a broad full-frame change with signature 0. The
  // queue defaults to a new "…protected-share.frames" queue.
  static std::shared_ptr<ProtectedFramePipeline> make(
      std::shared_ptr<capture::ProtectedOutputSurface> surface,
      platform::SharedPixelBuffer cursorImage, SupersedeHandler supersedeHandler,
      CandidateHandler candidateHandler, std::unique_ptr<FrameChangeDetector> changeDetector,
      std::shared_ptr<runtime::SerialQueue> queue = nullptr);

  // Use make(): the pipeline must be owned by a shared_ptr.
  ProtectedFramePipeline(std::shared_ptr<capture::ProtectedOutputSurface> surface,
                         platform::SharedPixelBuffer cursorImage, SupersedeHandler supersedeHandler,
                         CandidateHandler candidateHandler,
                         std::unique_ptr<FrameChangeDetector> changeDetector,
                         std::shared_ptr<runtime::SerialQueue> queue);
  ProtectedFramePipeline(const ProtectedFramePipeline&) = delete;
  ProtectedFramePipeline& operator=(const ProtectedFramePipeline&) = delete;

  // Takes the frame when its generations are current and its sequence is newer than any queued;
  // the newest waiting frame wins. Any thread.
  void ingest(capture::ProtectedCapturedFrame frame, std::uint64_t generation,
              std::uint64_t sourceContextGeneration, double minimumAnalysisInterval, bool isPaused,
              std::optional<platform::Point> normalizedCursorPosition);
  // A new capture or source context: frames of other generations are refused at once; on the
  // queue the verified state and the candidate cycle are cleared, and the output too unless it is
  // to keep showing the last verified frame.
  void reset(std::uint64_t generation, std::uint64_t sourceContextGeneration,
             OutputOnReset output = OutputOnReset::clear);
  // The candidate in flight was analysed: its frame, with `redactions` drawn, becomes the
  // verified baseline and is published, at a sequence never below the output's. Any other
  // candidate (not the one in flight) is ignored. `completion` runs on the queue.
  void commit(SharedAnalysisCandidate candidate, std::vector<model::ProtectedRedaction> redactions,
              CommitCompletion completion = {});
  // The candidate in flight was not accepted; the next waiting frame is processed.
  void reject(SharedAnalysisCandidate candidate);
  // The next frame is analysed whole, even without a change.
  void requestFullFrameAudit(std::uint64_t requestID);
  // New covers for the verified output, re-drawn and published at once. A replacement that
  // would uncover something is merged with the old covers instead and makes the next frame a
  // full-frame candidate. Without a source-context generation the current one is meant.
  void updateLiveRedactions(std::vector<model::ProtectedRedaction> redactions,
                            std::optional<std::uint64_t> sourceContextGeneration);

  // True when some existing cover would not lie inside any replacement cover.
  static bool removesProtectedCoverage(const std::vector<model::ProtectedRedaction>& existing,
                                       const std::vector<model::ProtectedRedaction>& replacement);

  const std::shared_ptr<runtime::SerialQueue>& queue() const { return queue_; }

 private:
  struct IngestRequest {
    capture::ProtectedCapturedFrame frame;
    std::uint64_t generation = 0;
    std::uint64_t sourceContextGeneration = 0;
    double minimumAnalysisInterval = 0;
    bool isPaused = false;
    std::optional<platform::Point> normalizedCursorPosition;
  };

  void processLatestIngestRequest();
  void process(const IngestRequest& request);
  bool showScrolledOutput(const IngestRequest& request, const ProtectedFrameChangeSummary& summary,
                          double changeFraction);
  void holdVerifiedOutput(const IngestRequest& request, const ProtectedFrameChangeSummary& summary,
                          bool isBroad);
  void offerCandidate(const IngestRequest& request, const ProtectedFrameChangeSummary& summary,
                      bool isBroad, bool isRemovalRefresh);
  void finishCommit(const SharedAnalysisCandidate& candidate,
                    const std::vector<model::ProtectedRedaction>& redactions,
                    const CommitCompletion& completion);
  void finishReject(const SharedAnalysisCandidate& candidate);
  void applyLiveRedactions(std::vector<model::ProtectedRedaction> redactions,
                           std::uint64_t sourceContextGeneration);
  void resetOnQueue(std::uint64_t generation, std::uint64_t sourceContextGeneration,
                    OutputOnReset output);
  void scheduleDeferredRetry(double delaySeconds);
  void processDeferredRequest();
  bool isInFlight(const SharedAnalysisCandidate& candidate) const;
  void endCandidate();

  bool isIngestCurrent(std::uint64_t generation, std::uint64_t sourceContextGeneration);
  // Runs `publish` (which calls the surface) when `stillCurrent` holds under the lock; reset()
  // waits for it to finish. Returns whether it ran.
  template <typename StillCurrent, typename Publish>
  bool publishWhile(StillCurrent stillCurrent, Publish publish);
  // Posts `job` to the queue; it runs only while the pipeline lives.
  void onQueue(std::function<void(ProtectedFramePipeline&)> job);

  std::shared_ptr<runtime::SerialQueue> queue_;
  std::shared_ptr<capture::ProtectedOutputSurface> surface_;
  CandidateHandler candidateHandler_;
  SupersedeHandler supersedeHandler_;
  std::unique_ptr<FrameChangeDetector> changeDetector_;

  // Queue only.
  std::uint64_t activeGeneration_ = 0;
  std::uint64_t activeSourceContextGeneration_ = 0;
  platform::SharedPixelBuffer verifiedPixelBuffer_;  // the committed frame as captured
  platform::SharedPixelBuffer verifiedOutput_;       // ... with its covers drawn
  std::vector<model::ProtectedRedaction> verifiedRedactions_;
  bool requiresRedactionRemovalRefresh_ = false;
  bool candidateInFlight_ = false;
  std::uint64_t inFlightCandidateIdentity_ = 0;
  std::uint64_t lastCandidateIdentity_ = 0;
  bool inFlightCandidateCanBeSuperseded_ = false;
  bool supersedeRequested_ = false;
  bool nextCandidateMustComplete_ = false;
  runtime::Uptime lastCandidateTime_ = 0;
  std::optional<std::uint64_t> pendingFullFrameAuditRequestID_;
  std::optional<IngestRequest> deferredIngestRequest_;
  bool deferredRetryScheduled_ = false;

  // Guarded by mutex_.
  std::mutex mutex_;
  std::condition_variable publicationDone_;
  bool isPublishing_ = false;
  std::optional<IngestRequest> pendingIngestRequest_;
  bool isIngestWorkScheduled_ = false;
  std::uint64_t ingestGeneration_ = 0;
  std::uint64_t ingestSourceContextGeneration_ = 0;
  std::uint64_t highestQueuedSequence_ = 0;
};

}  // namespace corvane::verification
