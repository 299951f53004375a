#pragma once

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace corvane::model {

// Enumerations with string raw values specialise EnumCases with their cases in declaration order:
//   template <> struct EnumCases<RiskLevel> { static constexpr std::array cases{...}; };
// and then get rawValue, fromRawValue, allCases and JSON coding (the raw value as a string; an
// unknown string does not decode) from the templates below.
template <class E>
struct EnumCases;

template <class E>
concept RawValueEnum = requires {
  EnumCases<E>::cases;
};

template <class E>
using EnumCase = std::pair<E, std::string_view>;

template <RawValueEnum E>
std::string_view rawValue(E value) {
  for (const auto& [candidate, name] : EnumCases<E>::cases) {
    if (candidate == value) return name;
  }
  return {};
}

template <RawValueEnum E>
std::optional<E> fromRawValue(std::string_view text) {
  for (const auto& [candidate, name] : EnumCases<E>::cases) {
    if (name == text) return candidate;
  }
  return std::nullopt;
}

template <RawValueEnum E>
std::vector<E> allCases() {
  std::vector<E> all;
  for (const auto& entry : EnumCases<E>::cases) all.push_back(entry.first);
  return all;
}

template <RawValueEnum E>
void to_json(nlohmann::json& json, E value) {
  json = std::string(rawValue(value));
}

template <RawValueEnum E>
void from_json(const nlohmann::json& json, E& value) {
  const auto decoded = fromRawValue<E>(json.get<std::string>());
  if (!decoded) throw std::invalid_argument("unknown enumeration value: " + json.dump());
  value = *decoded;
}

}  // namespace corvane::model
