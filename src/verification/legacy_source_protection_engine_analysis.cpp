#include "runtime/main_actor.h"
#include "verification/legacy_source_protection_engine.h"

namespace corvane::verification {

// The entry of text analysis: the pipeline hands each candidate here, on the main actor.
//
// Analysis, source-mask authorisation and verified publication are not part of this engine yet.
// Until they are, no candidate can be verified, so each is turned down at once: the pipeline
// moves on to the next frame and the output never shows a frame that was not verified.
void LegacySourceProtectionEngine::analyzeCandidate(SharedAnalysisCandidate candidate) {
  runtime::assertMainActor();
  ++candidatesReceived_;
  pipeline_->reject(std::move(candidate));
}

void LegacySourceProtectionEngine::handleSupersedeRequest() {
  runtime::assertMainActor();
  if (activeAnalysisCancellation_) activeAnalysisCancellation_->cancel();
}

}  // namespace corvane::verification
