#include "model/diagnostic_event.h"

#include <chrono>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "model/date_coding.h"
#include "platform/text_cleaning.h"

namespace corvane::model {
namespace {

// Cuts to at most `limit` bytes without splitting a UTF-8 sequence.
std::string truncatedUtf8(const std::string& text, std::size_t limit) {
  if (text.size() <= limit) return text;
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end) + "\xE2\x80\xA6";  // "…"
}

}  // namespace

std::string encodeDiagnosticLine(const DiagnosticEvent& event) {
  nlohmann::ordered_json fields = nlohmann::ordered_json::object();
  std::size_t dropped = 0;
  std::size_t replaced = 0;
  for (const auto& [key, value] : event.fields) {
    if (fields.size() >= DiagnosticEventLimits::maxFieldCount) {
      ++dropped;
      continue;
    }
    if (!platform::isValidUtf8(key) || !platform::isValidUtf8(value)) ++replaced;
    fields[truncatedUtf8(key, DiagnosticEventLimits::maxEventNameBytes)] =
        truncatedUtf8(value, DiagnosticEventLimits::maxFieldValueBytes);
  }
  if (dropped > 0) fields["droppedFieldCount"] = std::to_string(dropped);
  // A line is UTF-8 text: bytes that are not become U+FFFD, and the line says how many fields.
  if (replaced > 0) fields["invalidTextFieldCount"] = std::to_string(replaced);
  const std::string name = event.event.empty() ? std::string("unnamed_event") : event.event;
  nlohmann::ordered_json line{
      {"timestamp", formatDateWithMilliseconds(event.time)},
      {"event", truncatedUtf8(name, DiagnosticEventLimits::maxEventNameBytes)},
      {"fields", std::move(fields)},
  };
  return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::optional<DiagnosticEvent> decodeDiagnosticLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  const auto json = nlohmann::json::parse(line.begin(), line.end(), nullptr, false);
  if (json.is_discarded() || !json.is_object()) return std::nullopt;
  const auto timestamp = json.find("timestamp");
  const auto name = json.find("event");
  const auto fields = json.find("fields");
  if (timestamp == json.end() || !timestamp->is_string() || name == json.end() ||
      !name->is_string() || fields == json.end() || !fields->is_object()) {
    return std::nullopt;
  }
  DiagnosticEvent event;
  const auto time = parseDate(timestamp->get<std::string>());
  if (!time) return std::nullopt;
  event.time = *time;
  event.event = name->get<std::string>();
  for (const auto& [key, value] : fields->items()) {
    if (!value.is_string()) return std::nullopt;
    event.fields.emplace(key, value.get<std::string>());
  }
  return event;
}

}  // namespace corvane::model
