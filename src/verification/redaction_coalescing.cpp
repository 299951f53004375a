#include "verification/redaction_coalescing.h"

#include <algorithm>

#include "verification/mask_merging.h"
#include "verification/normalized_geometry.h"

namespace corvane::verification {

namespace {

using model::ProtectedRedaction;
using model::ProtectedRedactionScope;
using model::RiskLevel;

constexpr double kOverlapShareOfSmaller = 0.45;
constexpr const char* kUnverifiedChangeTitle = "Unverified change";

bool overlaps(const platform::Rect& a, const platform::Rect& b) {
  if (a.isEmpty() || b.isEmpty()) return false;
  const auto shared = a.intersection(b);
  if (shared.isEmpty()) return false;
  return shared.area() >= kOverlapShareOfSmaller * std::min(a.area(), b.area());
}

ProtectedRedaction merged(const ProtectedRedaction& existing, const ProtectedRedaction& incoming) {
  ProtectedRedaction result;  // a fresh identifier
  result.risk = existing.risk == RiskLevel::critical ? RiskLevel::critical : incoming.risk;
  result.kind = existing.kind;
  result.normalizedFrame =
      unionRect(existing.normalizedFrame, incoming.normalizedFrame).intersection(kUnitRect);
  result.confidence = std::max(existing.confidence, incoming.confidence);
  if (existing.scope == ProtectedRedactionScope::unverifiedChange ||
      incoming.scope == ProtectedRedactionScope::unverifiedChange) {
    result.scope = ProtectedRedactionScope::unverifiedChange;
    result.title = kUnverifiedChangeTitle;
  } else {
    result.scope = existing.scope == ProtectedRedactionScope::sourceOverlay ||
                           incoming.scope == ProtectedRedactionScope::sourceOverlay
                       ? ProtectedRedactionScope::sourceOverlay
                       : ProtectedRedactionScope::sensitiveText;
    result.title = result.risk == RiskLevel::critical ? existing.title : incoming.title;
  }
  return result;
}

}  // namespace

std::vector<ProtectedRedaction> coalesced(const std::vector<ProtectedRedaction>& redactions) {
  return coalesced(redactions, MaskAreas{});
}

std::vector<ProtectedRedaction> coalesced(const std::vector<ProtectedRedaction>& redactions,
                                          const MaskAreas& areas) {
  return mergedWithinGroups(
      redactions, areas,
      [](const ProtectedRedaction& existing, const ProtectedRedaction& incoming) {
        return overlaps(existing.normalizedFrame, incoming.normalizedFrame);
      },
      merged);
}

std::vector<ProtectedRedaction> coalesced(std::vector<ProtectedRedaction> first,
                                          const std::vector<ProtectedRedaction>& second,
                                          const MaskAreas& areas) {
  first.insert(first.end(), second.begin(), second.end());
  return coalesced(first, areas);
}

}  // namespace corvane::verification
