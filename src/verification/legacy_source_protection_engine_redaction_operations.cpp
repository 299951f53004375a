#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "verification/legacy_source_protection_engine.h"
#include "verification/normalized_geometry.h"

namespace corvane::verification {

using model::DetectedItem;
using model::ProtectedRedaction;
using model::ProtectedRedactionScope;

namespace {

// How far a protection may fall short of a source mask on each side and still cover it.
constexpr double kCoverageTolerance = 0.002;

std::string reviewLabel(const ProtectedRedaction& redaction) {
  switch (redaction.scope) {
    case ProtectedRedactionScope::sensitiveText:
      return std::string(model::sensitiveKindTitle(redaction.kind)) + " hidden";
    case ProtectedRedactionScope::sourceOverlay:
      return std::string(model::sensitiveKindTitle(redaction.kind)) + " source mask";
    case ProtectedRedactionScope::unverifiedChange:
      return "Unverified region sealed";
  }
  return {};
}

// Thousandths of a normalised coordinate, truncated toward zero.
long long thousandths(double value) {
  return static_cast<long long>(value * 1000);
}

}  // namespace

std::vector<ProtectedRedaction> LegacySourceProtectionEngine::uncoveredSourceRedactions(
    const std::vector<ProtectedRedaction>& redactions,
    const std::vector<ProtectedRedaction>& protections) {
  std::vector<ProtectedRedaction> uncovered;
  for (const auto& redaction : redactions) {
    const bool covered =
        std::any_of(protections.begin(), protections.end(), [&](const ProtectedRedaction& p) {
          return containsRect(grown(p.normalizedFrame, kCoverageTolerance, kCoverageTolerance),
                              redaction.normalizedFrame);
        });
    if (!covered) uncovered.push_back(redaction);
  }
  return uncovered;
}

std::vector<DetectedItem> LegacySourceProtectionEngine::deduplicatedDetectedItems(
    const std::vector<DetectedItem>& items) {
  std::set<std::string> seen;
  std::vector<DetectedItem> kept;
  for (const auto& item : items) {
    const auto origin = item.screenFrame ? item.screenFrame->origin : platform::Point{0, 0};
    const auto key = std::string(model::rawValue(item.kind)) + "|" + item.text + "|" +
                     std::to_string(thousandths(origin.x)) + "|" +
                     std::to_string(thousandths(origin.y));
    if (seen.insert(key).second) kept.push_back(item);
  }
  return kept;
}

std::vector<std::string> LegacySourceProtectionEngine::baselineReviewItems(
    const std::vector<ProtectedRedaction>& redactions) {
  std::map<std::string, int> counts;  // ordered by label
  for (const auto& redaction : redactions) ++counts[reviewLabel(redaction)];
  std::vector<std::string> lines;
  lines.reserve(counts.size());
  for (const auto& [label, count] : counts) lines.push_back(label + ": " + std::to_string(count));
  return lines;
}

std::vector<ProtectedRedaction> LegacySourceProtectionEngine::carriedForwardRedactions(
    const std::vector<ProtectedRedaction>& existing,
    const std::vector<platform::Rect>& changedRects) {
  std::vector<ProtectedRedaction> carried;
  for (const auto& redaction : existing) {
    // Source masks are asked of the owner anew, never carried.
    if (redaction.scope == ProtectedRedactionScope::sourceOverlay) continue;
    const bool touched =
        std::any_of(changedRects.begin(), changedRects.end(), [&](const platform::Rect& changed) {
          return changed.intersects(redaction.normalizedFrame);
        });
    if (!touched) carried.push_back(redaction);
  }
  return carried;
}

}  // namespace corvane::verification
