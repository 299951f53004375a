#pragma once

#include <optional>
#include <string>

#include "runtime/clock.h"

namespace corvane::model {

// Dates in JSON and log lines: ISO 8601 in UTC with milliseconds, "2026-01-05T09:00:00.250Z".
std::string formatDateWithMilliseconds(runtime::WallTime time);
// Accepts that form, whole seconds and numeric offsets.
std::optional<runtime::WallTime> parseDate(const std::string& text);

}  // namespace corvane::model
