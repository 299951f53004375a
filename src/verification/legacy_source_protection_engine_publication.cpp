#include "runtime/main_actor.h"
#include "verification/legacy_source_protection_engine.h"

namespace corvane::verification {

// Publication of an analysed frame. Until source-mask authorisation and the baseline review are
// in place, no analysed frame may reach the output: each is held and the last verified frame
// (or nothing) stays.
void LegacySourceProtectionEngine::publishVerifiedFrame(
    SharedAnalysisCandidate candidate, model::ProtectedFrameAnalysisResult /*result*/,
    std::vector<model::ProtectedRedaction> /*sourceRedactions*/, std::uint64_t /*generation*/,
    std::uint64_t /*sourceContextGeneration*/, bool /*isBaselineReview*/,
    std::uint64_t /*sourceOverlayRevision*/,
    std::vector<model::ProtectedRedaction> /*protectedSourceRedactions*/) {
  runtime::assertMainActor();
  holdCandidate(candidate, true);
}

}  // namespace corvane::verification
