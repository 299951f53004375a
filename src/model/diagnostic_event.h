#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/clock.h"

namespace corvane::model {

// One line of the diagnostics log: when, a snake_case event name and flat string fields. Events
// carry metadata only (counts, durations, states, identifiers), never screen content or text
// recognised in it.
struct DiagnosticEvent {
  runtime::WallTime time;
  std::string event;
  std::map<std::string, std::string> fields;

  bool operator==(const DiagnosticEvent&) const = default;
};

// Bounds that keep one event from swamping the log: longer values are cut at a character
// boundary and marked with "…"; fields beyond the limit are left out and counted under
// "droppedFieldCount".
struct DiagnosticEventLimits {
  static constexpr std::size_t maxEventNameBytes = 128;
  static constexpr std::size_t maxFieldValueBytes = 1024;
  static constexpr std::size_t maxFieldCount = 64;
};

// The line as written: {"timestamp":"2026-01-05T09:00:00.250Z","event":"…","fields":{…}} and a
// line feed. Invalid UTF-8 in names or values is replaced, so every line is valid JSON.
std::string encodeDiagnosticLine(const DiagnosticEvent& event);

// Reads one line back (without its line feed); absent for a line that is truncated, binary or
// not an event.
std::optional<DiagnosticEvent> decodeDiagnosticLine(std::string_view line);

}  // namespace corvane::model
