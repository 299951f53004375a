#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "verification/legacy_source_protection_engine.h"

namespace corvane::verification {

// Hands the engine candidates as the pipeline would, and sets what the owner's operations would.
struct VerificationEngineAnalysisProbe {
  using Engine = LegacySourceProtectionEngine;
  static void offer(Engine& e, SharedAnalysisCandidate c) { e.analyzeCandidate(std::move(c)); }
  static void expectMasks(Engine& e, SourceOverlaySnapshot s) {
    e.expectedSourceOverlaySnapshot_ = std::move(s);
  }
  static std::optional<std::uint64_t> verifiedMaskRevision(const Engine& e) {
    return e.verifiedSourceOverlayRevision_;
  }
  static void awaitBaselineRefresh(Engine& e, std::uint64_t id) {
    e.pendingBaselineRefreshRequestID_ = id;
  }
  static void oweCleanCaptures(Engine& e, int count) {
    e.cleanFramesRequiredBeforePublish_ = count;
  }
  static std::shared_ptr<ProtectedAnalysisCancellation> cancellation(const Engine& e) {
    return e.activeAnalysisCancellation_;
  }
};

}  // namespace corvane::verification
