#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "verification/legacy_source_protection_engine.h"

namespace corvane::verification {

// Reaches into the engine's analysis state for tests: hands it candidates as the pipeline
// would, and sets what the owner's operations and publication would otherwise set.
struct VerificationEngineAnalysisProbe {
  static void offer(LegacySourceProtectionEngine& engine, SharedAnalysisCandidate candidate) {
    engine.analyzeCandidate(std::move(candidate));
  }
  static void expectMasks(LegacySourceProtectionEngine& engine, SourceOverlaySnapshot snapshot) {
    engine.expectedSourceOverlaySnapshot_ = std::move(snapshot);
  }
  static std::optional<std::uint64_t> verifiedMaskRevision(
      const LegacySourceProtectionEngine& engine) {
    return engine.verifiedSourceOverlayRevision_;
  }
  static void awaitBaselineRefresh(LegacySourceProtectionEngine& engine, std::uint64_t requestID) {
    engine.pendingBaselineRefreshRequestID_ = requestID;
  }
  static void oweCleanCaptures(LegacySourceProtectionEngine& engine, int count) {
    engine.cleanFramesRequiredBeforePublish_ = count;
  }
  static std::shared_ptr<ProtectedAnalysisCancellation> activeCancellation(
      const LegacySourceProtectionEngine& engine) {
    return engine.activeAnalysisCancellation_;
  }
};

}  // namespace corvane::verification
