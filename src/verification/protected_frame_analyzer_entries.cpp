#include "verification/protected_frame_analyzer_entries.h"

#include <algorithm>
#include <set>
#include <unordered_set>

#include "verification/mask_merging.h"
#include "verification/normalized_geometry.h"
#include "verification/protected_frame_analyzer.h"
#include "verification/unicode_text.h"

namespace corvane::verification {

using model::DetectedItem;
using model::ProtectedRedaction;
using model::ProtectedRedactionScope;
using model::RiskLevel;
using model::SensitiveKind;
using platform::Rect;

namespace {

// minX, minY, width and height scaled and truncated toward zero, joined by `separator`.
std::string truncatedKey(const Rect& r, double scale, const char* separator) {
  std::string key;
  for (const double value : {r.minX(), r.minY(), r.width(), r.height()}) {
    if (!key.empty()) key += separator;
    key += std::to_string(static_cast<long long>(value * scale));
  }
  return key;
}

}  // namespace

AnalyzerEntry analyzerEntry(AnalyzerEntryCause cause, const Rect& frame, double confidence) {
  std::string text;
  std::string title;
  ProtectedRedactionScope scope = ProtectedRedactionScope::unverifiedChange;
  switch (cause) {
    case AnalyzerEntryCause::uncoveredText:
      text = title = "Unverified text";
      break;
    case AnalyzerEntryCause::visualChangeWithoutText:
      text = title = "Unverified visual change";
      break;
    case AnalyzerEntryCause::suspiciousStructuredText:
      text = title = "Unverified structured text";
      break;
    case AnalyzerEntryCause::recognizedText:
      text = "Recognized text";
      title = "Text";
      scope = ProtectedRedactionScope::sensitiveText;
      break;
  }
  AnalyzerEntry entry;
  entry.item.text = text;
  entry.item.kind = SensitiveKind::customer;
  entry.item.source = ProtectedFrameAnalyzer::kSource;
  entry.item.risk = RiskLevel::critical;
  entry.item.confidence = confidence;
  entry.item.screenFrame = frame;
  entry.redaction.title = title;
  entry.redaction.kind = SensitiveKind::customer;
  entry.redaction.risk = RiskLevel::critical;
  entry.redaction.normalizedFrame = frame;
  entry.redaction.confidence = confidence;
  entry.redaction.scope = scope;
  return entry;
}

ProtectedRedaction findingRedaction(const DetectedItem& finding, const Rect& lineFrame) {
  ProtectedRedaction redaction;
  redaction.title = model::sensitiveKindTitle(finding.kind);
  redaction.kind = finding.kind;
  redaction.risk = finding.risk;
  redaction.confidence = finding.confidence;
  redaction.normalizedFrame = lineFrame;
  redaction.scope = ProtectedRedactionScope::sensitiveText;
  return redaction;
}

std::vector<ProtectedRedaction> ProtectedFrameAnalyzer::coalesced(
    const std::vector<ProtectedRedaction>& redactions) {
  return coalesced(redactions, MaskAreas{});
}

std::vector<ProtectedRedaction> ProtectedFrameAnalyzer::coalesced(
    const std::vector<ProtectedRedaction>& redactions, const MaskAreas& areas) {
  constexpr double kTouching = 0.006;
  auto touches = [](const ProtectedRedaction& existing, const ProtectedRedaction& incoming) {
    return existing.scope == incoming.scope && existing.normalizedFrame.intersects(grown(
                                                   incoming.normalizedFrame, kTouching, kTouching));
  };
  auto merge = [](const ProtectedRedaction& existing, const ProtectedRedaction& incoming) {
    ProtectedRedaction merged;  // a fresh identifier
    merged.risk = existing.risk == RiskLevel::critical ? RiskLevel::critical : incoming.risk;
    const bool critical = merged.risk == RiskLevel::critical;
    merged.title = critical ? "Sensitive" : incoming.title;
    merged.kind = critical ? existing.kind : incoming.kind;
    // Clipped to the frame: a union reaching past an edge stops there, and one wholly outside
    // covers nothing and is dropped.
    merged.normalizedFrame =
        clippedToUnit(unionRect(existing.normalizedFrame, incoming.normalizedFrame));
    merged.confidence = std::max(existing.confidence, incoming.confidence);
    merged.scope = incoming.scope;
    return merged;
  };
  return mergedWithinGroups(redactions, areas, touches, merge);
}

std::vector<DetectedItem> ProtectedFrameAnalyzer::deduplicated(
    const std::vector<DetectedItem>& items) {
  std::unordered_set<std::string> seen;
  std::vector<DetectedItem> output;
  for (const DetectedItem& item : items) {
    std::string frameKey = "no-frame";
    if (item.screenFrame) {
      frameKey = truncatedKey(*item.screenFrame, 1000, "-");
    }
    const std::string key =
        std::string(model::rawValue(item.kind)) + "-" + item.text + "-" + frameKey;
    if (seen.insert(key).second) output.push_back(item);
  }
  return output;
}

std::vector<platform::TextRecognitionRequest> ProtectedFrameAnalyzer::recognitionRequests(
    ProtectedFrameAnalysisQuality quality, const Rect& regionOfInterest) {
  using platform::TextRecognitionLevel;
  std::vector<platform::TextRecognitionRequest> requests(1);
  requests[0].recognitionLevel = quality == ProtectedFrameAnalysisQuality::fast
                                     ? TextRecognitionLevel::fast
                                     : TextRecognitionLevel::accurate;
  requests[0].usesLanguageCorrection = false;
  requests[0].minimumTextHeight = 0.003f;
  requests[0].regionOfInterest = regionOfInterest;
  requests[0].recognitionLanguages = {"ko-KR", "en-US"};
  return requests;
}

std::vector<platform::RecognizedTextObservation> ProtectedFrameAnalyzer::deduplicatedObservations(
    const std::vector<platform::RecognizedTextResults>& results) {
  std::unordered_set<std::string> seen;
  std::vector<platform::RecognizedTextObservation> output;
  for (const platform::RecognizedTextResults& requestResults : results) {
    for (const platform::RecognizedTextObservation& observation : requestResults) {
      if (!observation.topCandidate) continue;
      const std::string key = utf8(lowercased(utf16(observation.topCandidate->string))) + "|" +
                              truncatedKey(observation.boundingBox, 10000, "|");
      if (seen.insert(key).second) output.push_back(observation);
    }
  }
  return output;
}

}  // namespace corvane::verification
