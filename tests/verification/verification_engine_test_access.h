#pragma once

#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "verification/legacy_source_protection_engine.h"

namespace corvane::verification {

// Reaches the engine's publication steps directly, so they are tested apart from text analysis:
// a test admits a candidate the way admission does and hands over the analysis result itself.
struct LegacySourceProtectionEngineTestAccess {
  using Engine = LegacySourceProtectionEngine;

  static void usePipeline(Engine& engine, std::shared_ptr<ProtectedFramePipeline> pipeline) {
    engine.pipeline_ = std::move(pipeline);
  }
  static void admit(Engine& engine, const ProtectedAnalysisCandidate& candidate) {
    engine.isAnalyzingFrame.set(true);
    engine.analyzingGeneration_ = candidate.generation;
    engine.analyzingSourceContextGeneration_ = candidate.sourceContextGeneration;
    engine.activeAnalysisCancellation_ = std::make_shared<ProtectedAnalysisCancellation>();
  }
  // `sourceOverlayRevision` and `protectedSourceRedactions`: the expected snapshot at admission.
  static void publish(Engine& engine, SharedAnalysisCandidate candidate,
                      model::ProtectedFrameAnalysisResult result,
                      std::vector<model::ProtectedRedaction> sourceRedactions,
                      bool isBaselineReview, std::uint64_t sourceOverlayRevision,
                      std::vector<model::ProtectedRedaction> protectedSourceRedactions) {
    engine.publishVerifiedFrame(std::move(candidate), std::move(result),
                                std::move(sourceRedactions), isBaselineReview,
                                sourceOverlayRevision, std::move(protectedSourceRedactions));
  }
  static const SourceOverlaySnapshot& expectedSnapshot(const Engine& engine) {
    return engine.expectedSourceOverlaySnapshot_;
  }
  static const std::vector<model::ProtectedRedaction>& pendingSourceMasks(const Engine& engine) {
    return engine.pendingSourceMaskRedactions_;
  }
  static std::optional<std::uint64_t> pendingSourceMaskRevision(const Engine& engine) {
    return engine.pendingSourceMaskRevision_;
  }

  // Text analysis: candidates handed to admission as the pipeline would, and what the owner's
  // operations or a filter replacement would otherwise set.
  static void tearDownCapture(Engine& engine) { engine.tearDownCapture(); }
  static void offer(Engine& engine, SharedAnalysisCandidate candidate) {
    engine.analyzeCandidate(std::move(candidate));
  }
  static std::optional<std::uint64_t> verifiedMaskRevision(const Engine& engine) {
    return engine.verifiedSourceOverlayRevision_;
  }
  static void awaitBaselineRefresh(Engine& engine, std::uint64_t requestID) {
    engine.pendingBaselineRefreshRequestID_ = requestID;
  }
  static void oweCleanCaptures(Engine& engine, int count) {
    engine.cleanFramesRequiredBeforePublish_ = count;
  }
  static std::shared_ptr<ProtectedAnalysisCancellation> cancellation(const Engine& engine) {
    return engine.activeAnalysisCancellation_;
  }
};

}  // namespace corvane::verification
