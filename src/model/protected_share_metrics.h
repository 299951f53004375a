#pragma once

#include <optional>

#include <nlohmann/json_fwd.hpp>

#include "runtime/clock.h"

namespace corvane::model {

// The running session's frame counters, rates and timings; callers change fields in place.
struct ProtectedShareMetrics {
  int capturedFrames = 0;
  int outputFrames = 0;
  int captureFPS = 0;
  int outputFPS = 0;
  int verifiedFPS = 0;
  int presentationFailures = 0;
  int verifiedFrames = 0;
  int heldFrames = 0;
  int redactionsApplied = 0;
  int lastAnalysisDurationMS = 0;
  int lastChangedAreaPercent = 0;
  int outputWidth = 0;
  int outputHeight = 0;
  std::optional<runtime::WallTime> lastFrameDate;

  // Every count 0 and no date.
  static ProtectedShareMetrics empty() { return {}; }

  bool operator==(const ProtectedShareMetrics&) const = default;
};

// lastFrameDate is encoded as an ISO 8601 date with milliseconds.
void to_json(nlohmann::json& json, const ProtectedShareMetrics& metrics);
void from_json(const nlohmann::json& json, ProtectedShareMetrics& metrics);

}  // namespace corvane::model
