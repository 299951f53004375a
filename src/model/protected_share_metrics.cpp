#include "model/protected_share_metrics.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

#include "model/date_coding.h"
#include "model/json_fields.h"

namespace corvane::model {
namespace {

// The counters in their declared order, shared by both directions of the coding.
template <class Metrics, class Visit>
void forEachCounter(Metrics& m, Visit&& visit) {
  visit("capturedFrames", m.capturedFrames);
  visit("outputFrames", m.outputFrames);
  visit("captureFPS", m.captureFPS);
  visit("outputFPS", m.outputFPS);
  visit("verifiedFPS", m.verifiedFPS);
  visit("presentationFailures", m.presentationFailures);
  visit("verifiedFrames", m.verifiedFrames);
  visit("heldFrames", m.heldFrames);
  visit("redactionsApplied", m.redactionsApplied);
  visit("lastAnalysisDurationMS", m.lastAnalysisDurationMS);
  visit("lastChangedAreaPercent", m.lastChangedAreaPercent);
  visit("outputWidth", m.outputWidth);
  visit("outputHeight", m.outputHeight);
}

}  // namespace

void to_json(nlohmann::json& json, const ProtectedShareMetrics& metrics) {
  json = nlohmann::json::object();
  forEachCounter(metrics, [&](const char* key, int value) { json[key] = value; });
  if (metrics.lastFrameDate)
    json["lastFrameDate"] = formatDateWithMilliseconds(*metrics.lastFrameDate);
}

void from_json(const nlohmann::json& json, ProtectedShareMetrics& metrics) {
  ProtectedShareMetrics decoded;
  forEachCounter(decoded, [&](const char* key, int& value) { json.at(key).get_to(value); });
  std::optional<std::string> date;
  decodeIfPresent(json, "lastFrameDate", date);
  if (date) {
    decoded.lastFrameDate = parseDate(*date);
    if (!decoded.lastFrameDate) throw std::invalid_argument("lastFrameDate is not a date");
  }
  metrics = decoded;
}

}  // namespace corvane::model
