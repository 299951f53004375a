#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace corvane::model {

// Optional fields are left out of the encoded object when absent and decode as absent when the
// key is missing or null, the way the stored settings have always been written.
template <class T>
void encodeIfPresent(nlohmann::json& object, const char* key, const std::optional<T>& value) {
  if (value) object[key] = *value;
}

template <class T>
void decodeIfPresent(const nlohmann::json& object, const char* key, std::optional<T>& value) {
  auto it = object.find(key);
  if (it == object.end() || it->is_null()) {
    value.reset();
    return;
  }
  value = it->template get<T>();
}

// A field that keeps `value` (its default) when the key is missing; present but malformed still
// fails the decoding.
template <class T>
void decodeOrKeep(const nlohmann::json& object, const char* key, T& value) {
  auto it = object.find(key);
  if (it != object.end()) value = it->template get<T>();
}

}  // namespace corvane::model
