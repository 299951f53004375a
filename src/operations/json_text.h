#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace corvane::operations {

// Compact JSON (no spaces, no line breaks; invalid UTF-8 replaced) with every "/" written as "\/".
// A slash can only occur inside a string in JSON text, so escaping every one of them is exact.
inline std::string compactJsonEscapingSlashes(const nlohmann::ordered_json& json) {
  const std::string compact =
      json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  std::string out;
  out.reserve(compact.size() + 8);
  for (char c : compact) {
    if (c == '/') out += '\\';
    out += c;
  }
  return out;
}

}  // namespace corvane::operations
