#include "verification/protected_frame_pipeline.h"

#include <algorithm>
#include <utility>

#include "runtime/main_actor.h"
#include "runtime/runtime.h"
#include "verification/normalized_geometry.h"
#include "verification/protected_analysis_region_planner.h"
#include "verification/protected_gpu_compositor.h"
#include "verification/protected_scroll_motion_estimator.h"
#include "verification/redaction_coalescing.h"

namespace corvane::verification {

std::shared_ptr<ProtectedFramePipeline> ProtectedFramePipeline::make(
    std::shared_ptr<capture::ProtectedOutputSurface> surface,
    platform::SharedPixelBuffer cursorImage, SupersedeHandler supersedeHandler,
    CandidateHandler candidateHandler, std::unique_ptr<FrameChangeDetector> changeDetector,
    std::shared_ptr<runtime::SerialQueue> queue) {
  if (!queue) queue = runtime::makeSerialQueue(kProtectedShareFramesQueueLabel);
  return std::make_shared<ProtectedFramePipeline>(
      std::move(surface), std::move(cursorImage), std::move(supersedeHandler),
      std::move(candidateHandler), std::move(changeDetector), std::move(queue));
}

ProtectedFramePipeline::ProtectedFramePipeline(
    std::shared_ptr<capture::ProtectedOutputSurface> surface,
    platform::SharedPixelBuffer cursorImage, SupersedeHandler supersedeHandler,
    CandidateHandler candidateHandler, std::unique_ptr<FrameChangeDetector> changeDetector,
    std::shared_ptr<runtime::SerialQueue> queue)
    : queue_(std::move(queue)),
      surface_(std::move(surface)),
      candidateHandler_(std::move(candidateHandler)),
      supersedeHandler_(std::move(supersedeHandler)),
      changeDetector_(std::move(changeDetector)) {
  // The output draws this pointer at its own size, hot spot at the image's top left.
  surface_->configureCursorImage(std::move(cursorImage), platform::Size{}, platform::Point{});
}

void ProtectedFramePipeline::onQueue(std::function<void(ProtectedFramePipeline&)> job) {
  std::weak_ptr<ProtectedFramePipeline> weakSelf = weak_from_this();
  queue_->post([weakSelf, job = std::move(job)] {
    if (auto self = weakSelf.lock()) job(*self);
  });
}

bool ProtectedFramePipeline::isIngestCurrent(std::uint64_t generation,
                                             std::uint64_t sourceContextGeneration) {
  std::lock_guard lock(mutex_);
  return generation == ingestGeneration_ &&
         sourceContextGeneration == ingestSourceContextGeneration_;
}

template <typename StillCurrent, typename Publish>
bool ProtectedFramePipeline::publishWhile(StillCurrent stillCurrent, Publish publish) {
  {
    std::lock_guard lock(mutex_);
    if (!stillCurrent()) return false;
    isPublishing_ = true;
  }
  publish();
  {
    std::lock_guard lock(mutex_);
    isPublishing_ = false;
  }
  publicationDone_.notify_all();
  return true;
}

// Ingest, on the capture thread.

void ProtectedFramePipeline::ingest(capture::ProtectedCapturedFrame frame, std::uint64_t generation,
                                    std::uint64_t sourceContextGeneration,
                                    double minimumAnalysisInterval, bool isPaused,
                                    std::optional<platform::Point> normalizedCursorPosition) {
  if (!frame.pixelBuffer) return;
  {
    std::lock_guard lock(mutex_);
    if (generation != ingestGeneration_ ||
        sourceContextGeneration != ingestSourceContextGeneration_ ||
        frame.sequence <= highestQueuedSequence_)
      return;
    highestQueuedSequence_ = frame.sequence;
    pendingIngestRequest_ =
        IngestRequest{std::move(frame),        generation, sourceContextGeneration,
                      minimumAnalysisInterval, isPaused,   normalizedCursorPosition};
    if (isIngestWorkScheduled_) return;
    isIngestWorkScheduled_ = true;
  }
  onQueue([](ProtectedFramePipeline& self) { self.processLatestIngestRequest(); });
}

void ProtectedFramePipeline::processLatestIngestRequest() {
  std::optional<IngestRequest> request;
  {
    std::lock_guard lock(mutex_);
    request = std::exchange(pendingIngestRequest_, std::nullopt);
  }
  if (request && request->generation == activeGeneration_ &&
      request->sourceContextGeneration == activeSourceContextGeneration_ &&
      isIngestCurrent(request->generation, request->sourceContextGeneration))
    process(*request);
  {
    std::lock_guard lock(mutex_);
    if (!pendingIngestRequest_) {
      isIngestWorkScheduled_ = false;
      return;
    }
  }
  onQueue([](ProtectedFramePipeline& self) { self.processLatestIngestRequest(); });
}

// One frame, on the queue.

void ProtectedFramePipeline::process(const IngestRequest& request) {
  if (request.isPaused) return;  // not even the cursor moves
  if (!isIngestCurrent(request.generation, request.sourceContextGeneration)) return;
  surface_->updateCursor(request.normalizedCursorPosition, std::nullopt);

  const bool isRemovalRefresh = requiresRedactionRemovalRefresh_;
  const auto summary = changeDetector_ ? changeDetector_->detect(*request.frame.pixelBuffer,
                                                                 verifiedPixelBuffer_.get())
                                       : ProtectedFrameChangeSummary::fullFrame();
  const double changeFraction =
      summary.tileCount < 1 ? 1.0
                            : static_cast<double>(summary.changedTileCount) / summary.tileCount;
  const bool isBroad =
      isRemovalRefresh || summary.tileCount < 1 || changeFraction >= kBroadChangeFraction;

  // A removal refresh shows nothing new before it is verified.
  if (!isRemovalRefresh) {
    const bool scrolled = changeFraction >= kScrollMinimumFraction &&
                          showScrolledOutput(request, summary, std::min(changeFraction, 1.0));
    if (!scrolled) holdVerifiedOutput(request, summary, isBroad);
  }
  offerCandidate(request, summary, isBroad, isRemovalRefresh);
}

bool ProtectedFramePipeline::showScrolledOutput(const IngestRequest& request,
                                                const ProtectedFrameChangeSummary& summary,
                                                double changeFraction) {
  if (!verifiedPixelBuffer_ || !verifiedOutput_) return false;
  const auto motion = ProtectedScrollMotionEstimator::verticalTranslation(
      *request.frame.pixelBuffer, *verifiedPixelBuffer_, changeFraction, summary.guardedRects);
  if (!motion) return false;
  const auto guarded =
      ProtectedGPUCompositor::guardedImage(request.frame.pixelBuffer, verifiedOutput_,
                                           verifiedRedactions_, summary.guardedRects, motion);
  return publishWhile(
      [&] {
        return request.generation == ingestGeneration_ &&
               request.sourceContextGeneration == ingestSourceContextGeneration_;
      },
      [&] { surface_->replace(guarded, request.frame.sequence, request.generation); });
}

void ProtectedFramePipeline::holdVerifiedOutput(const IngestRequest& request,
                                                const ProtectedFrameChangeSummary& summary,
                                                bool isBroad) {
  if (isBroad || !verifiedOutput_ || summary.guardedTileCount < 1) return;
  publishWhile(
      [&] {
        return request.generation == ingestGeneration_ &&
               request.sourceContextGeneration == ingestSourceContextGeneration_;
      },
      [&] { surface_->advanceSequenceWithoutPixelChange(request.frame.sequence); });
}

void ProtectedFramePipeline::offerCandidate(const IngestRequest& request,
                                            const ProtectedFrameChangeSummary& summary,
                                            bool isBroad, bool isRemovalRefresh) {
  if (!isIngestCurrent(request.generation, request.sourceContextGeneration)) return;
  const runtime::Uptime now = runtime::uptime();
  const bool isAudit = pendingFullFrameAuditRequestID_.has_value();
  const bool isNormalChange = !isAudit && !isRemovalRefresh;
  const bool hasVerifiedFrame = verifiedPixelBuffer_ != nullptr;

  if (candidateInFlight_) {
    deferredIngestRequest_ = request;
    if (summary.changedTileCount >= 1 && inFlightCandidateCanBeSuperseded_ &&
        !supersedeRequested_ && now - lastCandidateTime_ >= kSupersedeAfterSeconds) {
      supersedeRequested_ = true;
      nextCandidateMustComplete_ = true;
      if (supersedeHandler_) supersedeHandler_();
    }
    return;
  }
  if (hasVerifiedFrame && summary.changedTileCount == 0 && isNormalChange) return;
  if (isNormalChange && hasVerifiedFrame) {
    const double remainingWait = request.minimumAnalysisInterval - (now - lastCandidateTime_);
    // A wait too short for the clock to pass (rounding of the interval) is no wait: its retry
    // would come due at once and find the same wait, again and again.
    if (remainingWait > kShortestAnalysisWait) {
      deferredIngestRequest_ = request;
      scheduleDeferredRetry(remainingWait);
      return;
    }
  }

  const std::vector<platform::Rect> rects =
      isNormalChange ? summary.changedRects : std::vector<platform::Rect>{kUnitRect};
  using Planner = ProtectedAnalysisRegionPlanner;
  const auto plan = Planner::regions(rects, kRegionHorizontalMargin, kRegionVerticalMargin);
  const bool usesRegionImages =
      hasVerifiedFrame && isNormalChange && !plan.empty() &&
      std::none_of(plan.begin(), plan.end(), [](const platform::Rect& region) {
        return region.width() * region.height() >= kNativeRegionAreaLimit;
      });
  const auto& source = request.frame.pixelBuffer;
  auto analysisImage = ProtectedAnalysisImagePolicy::limitedToLongEdge(
      source, !hasVerifiedFrame || isAudit ? kFullFrameAnalysisLongEdge : kAnalysisLongEdge);
  if (!analysisImage) return;  // skipped; the next frame tries again
  std::vector<ProtectedAnalysisRegionImage> regionImages;
  if (usesRegionImages) {
    regionImages = ProtectedAnalysisImagePolicy::nativeRegionImages(*source, plan);
    if (regionImages.size() != plan.size()) regionImages.clear();
    // Each crop is read along the frame's windows, every window on its own.
    const auto parts = Planner::changeRegions(rects, kRegionHorizontalMargin, kRegionVerticalMargin,
                                              Planner::windowRegions(source.get()));
    for (ProtectedAnalysisRegionImage& region : regionImages) {
      for (const platform::Rect& part : Planner::partsWithin(parts, region.normalizedTopLeftFrame))
        region.parts.push_back(mappedInto(part, region.normalizedTopLeftFrame));
    }
  }

  auto candidate = std::make_shared<ProtectedAnalysisCandidate>();
  candidate->identity = ++lastCandidateIdentity_;
  candidate->sourceFrame = request.frame;
  candidate->sourceImage = source;
  candidate->analysisImage = std::move(analysisImage);
  candidate->nativeRegionImages = std::move(regionImages);
  candidate->createdAt = runtime::now();
  candidate->changedTileCount = summary.changedTileCount;
  candidate->changedAreaFraction =
      summary.tileCount < 1
          ? 1.0
          : std::min(static_cast<double>(summary.changedTileCount) / summary.tileCount, 1.0);
  candidate->changedRects = rects;
  candidate->guardedRects = summary.guardedRects;
  candidate->changeSignature = summary.signature != 0
                                   ? summary.signature
                                   : std::max<std::uint64_t>(request.frame.sequence, 1);
  candidate->generation = request.generation;
  candidate->sourceContextGeneration = request.sourceContextGeneration;
  candidate->requiresVerifiedPublication = isBroad;
  candidate->isRedactionRemovalRefresh = isRemovalRefresh;
  candidate->isPeriodicAudit = isAudit;
  candidate->fullFrameAuditRequestID = pendingFullFrameAuditRequestID_;

  candidateInFlight_ = true;
  inFlightCandidateIdentity_ = candidate->identity;
  inFlightCandidateCanBeSuperseded_ =
      isNormalChange && hasVerifiedFrame && !nextCandidateMustComplete_;
  supersedeRequested_ = false;
  nextCandidateMustComplete_ = false;
  pendingFullFrameAuditRequestID_.reset();
  lastCandidateTime_ = now;
  if (candidateHandler_) candidateHandler_(std::move(candidate));
}

// The candidate cycle, on the queue.

bool ProtectedFramePipeline::isInFlight(const SharedAnalysisCandidate& candidate) const {
  return candidate && candidateInFlight_ && candidate->identity == inFlightCandidateIdentity_;
}

void ProtectedFramePipeline::endCandidate() {
  candidateInFlight_ = false;
  inFlightCandidateIdentity_ = 0;
}

void ProtectedFramePipeline::commit(SharedAnalysisCandidate candidate,
                                    std::vector<model::ProtectedRedaction> redactions,
                                    CommitCompletion completion) {
  onQueue([candidate = std::move(candidate), redactions = std::move(redactions),
           completion = std::move(completion)](ProtectedFramePipeline& self) {
    self.finishCommit(candidate, redactions, completion);
  });
}

void ProtectedFramePipeline::finishCommit(const SharedAnalysisCandidate& candidate,
                                          const std::vector<model::ProtectedRedaction>& redactions,
                                          const CommitCompletion& completion) {
  bool published = false;
  if (!isInFlight(candidate)) {
    if (completion) completion(false);
    return;
  }
  if (candidate->generation != activeGeneration_ ||
      candidate->sourceContextGeneration != activeSourceContextGeneration_) {
    endCandidate();  // the deferred request stays for the new generations' next turn
    if (completion) completion(false);
    return;
  }
  const auto output =
      ProtectedGPUCompositor::redactedImage(candidate->sourceImage, redactions, true);
  if (output) {
    publishWhile(
        [&] {
          return candidate->generation == ingestGeneration_ &&
                 candidate->sourceContextGeneration == ingestSourceContextGeneration_;
        },
        [&] {
          verifiedPixelBuffer_ = candidate->sourceFrame.pixelBuffer;
          verifiedOutput_ = output;
          verifiedRedactions_ = redactions;
          requiresRedactionRemovalRefresh_ = false;
          const auto shown = surface_->sequence().value_or(0);
          published = surface_->replace(output, std::max(candidate->sourceFrame.sequence, shown),
                                        candidate->generation);
        });
  }
  endCandidate();
  if (completion) completion(published);
  processDeferredRequest();
}

void ProtectedFramePipeline::reject(SharedAnalysisCandidate candidate) {
  onQueue([candidate = std::move(candidate)](ProtectedFramePipeline& self) {
    self.finishReject(candidate);
  });
}

void ProtectedFramePipeline::finishReject(const SharedAnalysisCandidate& candidate) {
  if (!isInFlight(candidate) || candidate->generation != activeGeneration_ ||
      candidate->sourceContextGeneration != activeSourceContextGeneration_)
    return;
  endCandidate();
  inFlightCandidateCanBeSuperseded_ = false;
  supersedeRequested_ = false;
  processDeferredRequest();
}

void ProtectedFramePipeline::processDeferredRequest() {
  if (auto deferred = std::exchange(deferredIngestRequest_, std::nullopt)) process(*deferred);
}

void ProtectedFramePipeline::scheduleDeferredRetry(double delaySeconds) {
  if (deferredRetryScheduled_) return;
  deferredRetryScheduled_ = true;
  // The wait runs on the main actor's clock, so it follows the virtual clock in tests.
  runtime::postToMainAfter(std::max(delaySeconds, 0.0), weak_from_this(),
                           [](ProtectedFramePipeline& self) {
                             self.onQueue([](ProtectedFramePipeline& pipeline) {
                               pipeline.deferredRetryScheduled_ = false;
                               if (!pipeline.candidateInFlight_) pipeline.processDeferredRequest();
                             });
                           });
}

void ProtectedFramePipeline::requestFullFrameAudit(std::uint64_t requestID) {
  onQueue([requestID](ProtectedFramePipeline& self) {
    self.pendingFullFrameAuditRequestID_ = requestID;
  });
}

// Live redactions.

bool ProtectedFramePipeline::removesProtectedCoverage(
    const std::vector<model::ProtectedRedaction>& existing,
    const std::vector<model::ProtectedRedaction>& replacement) {
  return std::any_of(existing.begin(), existing.end(), [&](const model::ProtectedRedaction& old) {
    const auto cover = old.normalizedFrame.standardized();
    return std::none_of(replacement.begin(), replacement.end(),
                        [&](const model::ProtectedRedaction& candidate) {
                          return containsRect(candidate.normalizedFrame.standardized(), cover);
                        });
  });
}

void ProtectedFramePipeline::updateLiveRedactions(
    std::vector<model::ProtectedRedaction> redactions,
    std::optional<std::uint64_t> sourceContextGeneration) {
  std::uint64_t resolved = 0;
  {
    std::lock_guard lock(mutex_);
    resolved = sourceContextGeneration.value_or(ingestSourceContextGeneration_);
  }
  onQueue([redactions = std::move(redactions), resolved](ProtectedFramePipeline& self) mutable {
    self.applyLiveRedactions(std::move(redactions), resolved);
  });
}

void ProtectedFramePipeline::applyLiveRedactions(std::vector<model::ProtectedRedaction> redactions,
                                                 std::uint64_t sourceContextGeneration) {
  if (sourceContextGeneration != activeSourceContextGeneration_) return;
  {
    std::lock_guard lock(mutex_);
    if (sourceContextGeneration != ingestSourceContextGeneration_) return;
  }
  if (removesProtectedCoverage(verifiedRedactions_, redactions)) {
    // Nothing is uncovered before a full-frame candidate has been verified.
    requiresRedactionRemovalRefresh_ = true;
    verifiedRedactions_ = coalesced(verifiedRedactions_, redactions);
  } else {
    verifiedRedactions_ = std::move(redactions);
  }
  if (!verifiedPixelBuffer_) return;
  const auto output =
      ProtectedGPUCompositor::redactedImage(verifiedPixelBuffer_, verifiedRedactions_, true);
  if (!output) return;
  verifiedOutput_ = output;
  publishWhile(
      [&] {
        return activeGeneration_ == ingestGeneration_ &&
               sourceContextGeneration == ingestSourceContextGeneration_;
      },
      [&] { surface_->replace(output, surface_->sequence().value_or(0), activeGeneration_); });
}

// Reset.

void ProtectedFramePipeline::reset(std::uint64_t generation, std::uint64_t sourceContextGeneration,
                                   OutputOnReset output) {
  {
    std::unique_lock lock(mutex_);
    ingestGeneration_ = generation;
    ingestSourceContextGeneration_ = sourceContextGeneration;
    highestQueuedSequence_ = 0;
    pendingIngestRequest_.reset();
    // A publication that passed its check before the generations moved finishes first; none
    // starts after.
    publicationDone_.wait(lock, [this] { return !isPublishing_; });
  }
  onQueue([generation, sourceContextGeneration, output](ProtectedFramePipeline& self) {
    self.resetOnQueue(generation, sourceContextGeneration, output);
  });
}

void ProtectedFramePipeline::resetOnQueue(std::uint64_t generation,
                                          std::uint64_t sourceContextGeneration,
                                          OutputOnReset output) {
  activeGeneration_ = generation;
  activeSourceContextGeneration_ = sourceContextGeneration;
  verifiedPixelBuffer_.reset();
  verifiedOutput_.reset();
  verifiedRedactions_.clear();
  requiresRedactionRemovalRefresh_ = false;
  lastCandidateTime_ = 0;
  endCandidate();
  inFlightCandidateCanBeSuperseded_ = false;
  supersedeRequested_ = false;
  nextCandidateMustComplete_ = false;
  deferredIngestRequest_.reset();
  deferredRetryScheduled_ = false;
  pendingFullFrameAuditRequestID_.reset();
  if (output == OutputOnReset::clear) surface_->clear();
}

}  // namespace corvane::verification
