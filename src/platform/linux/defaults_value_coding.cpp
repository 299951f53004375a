#include "platform/linux/defaults_value_coding.h"

#include <cmath>
#include <limits>

#include "platform/linux/base64.h"
#include "platform/text_cleaning.h"

namespace corvane::platform {
namespace {

constexpr const char* typeKey = "$type";
constexpr const char* valueKey = "value";
constexpr std::size_t maxNestingDepth = 128;

nlohmann::json tagged(const char* type, nlohmann::json value) {
  return nlohmann::json{{typeKey, type}, {valueKey, std::move(value)}};
}

std::optional<Value> decode(const nlohmann::json& json, std::size_t depth);

std::optional<Value> decodeObject(const nlohmann::json& json, std::size_t depth) {
  Value::Dictionary dictionary;
  for (const auto& [key, item] : json.items()) {
    auto value = decode(item, depth + 1);
    if (!value) return std::nullopt;
    dictionary.emplace(key, std::move(*value));
  }
  return Value(std::move(dictionary));
}

std::optional<Value> decodeTagged(const nlohmann::json& json, std::size_t depth) {
  const auto& type = json.at(typeKey);
  const auto valueIt = json.find(valueKey);
  if (!type.is_string() || valueIt == json.end() || json.size() != 2) return std::nullopt;
  const auto& value = *valueIt;
  const std::string name = type.get<std::string>();
  if (name == "string" && value.is_string()) {
    auto bytes = decodeBase64(value.get<std::string>());
    if (!bytes) return std::nullopt;
    return Value(std::string(bytes->begin(), bytes->end()));
  }
  if (name == "data" && value.is_string()) {
    auto bytes = decodeBase64(value.get<std::string>());
    if (!bytes) return std::nullopt;
    return Value(std::move(*bytes));
  }
  if (name == "date" && value.is_number()) {
    const double seconds = value.get<double>();
    if (!std::isfinite(seconds) || !runtime::isRepresentableWallTime(seconds)) return std::nullopt;
    return Value(runtime::wallTimeFromSeconds(seconds));
  }
  if (name == "real" && value.is_string()) {
    const std::string text = value.get<std::string>();
    if (text == "nan") return Value(std::numeric_limits<double>::quiet_NaN());
    if (text == "inf") return Value(std::numeric_limits<double>::infinity());
    if (text == "-inf") return Value(-std::numeric_limits<double>::infinity());
    return std::nullopt;
  }
  if (name == "dictionary" && value.is_object()) return decodeObject(value, depth);
  return std::nullopt;
}

std::optional<Value> decode(const nlohmann::json& json, std::size_t depth) {
  if (depth > maxNestingDepth) return std::nullopt;
  switch (json.type()) {
    case nlohmann::json::value_t::boolean:
      return Value(json.get<bool>());
    case nlohmann::json::value_t::number_integer:
      return Value(json.get<std::int64_t>());
    case nlohmann::json::value_t::number_unsigned: {
      const auto value = json.get<std::uint64_t>();
      if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return Value(static_cast<double>(value));
      }
      return Value(static_cast<std::int64_t>(value));
    }
    case nlohmann::json::value_t::number_float:
      return Value(json.get<double>());
    case nlohmann::json::value_t::string:
      return Value(json.get<std::string>());
    case nlohmann::json::value_t::array: {
      Value::Array array;
      for (const auto& item : json) {
        auto value = decode(item, depth + 1);
        if (!value) return std::nullopt;
        array.push_back(std::move(*value));
      }
      return Value(std::move(array));
    }
    case nlohmann::json::value_t::object:
      if (json.contains(typeKey)) return decodeTagged(json, depth);
      return decodeObject(json, depth);
    default:
      return std::nullopt;
  }
}

}  // namespace

nlohmann::json encodeDefaultsValue(const Value& value) {
  switch (value.type()) {
    case Value::Type::boolean:
      return *value.asBool();
    case Value::Type::integer:
      return *value.asInteger();
    case Value::Type::real: {
      const double real = *value.asReal();
      if (std::isnan(real)) return tagged("real", "nan");
      if (std::isinf(real)) return tagged("real", real > 0 ? "inf" : "-inf");
      return real;
    }
    case Value::Type::string: {
      const std::string& text = *value.asString();
      if (isValidUtf8(text)) return text;
      // JSON text is UTF-8: other bytes are kept exactly in Base64.
      return tagged("string", encodeBase64(Value::Data(text.begin(), text.end())));
    }
    case Value::Type::data:
      return tagged("data", encodeBase64(*value.asData()));
    case Value::Type::date:
      return tagged("date", runtime::secondsSinceEpoch(*value.asDate()));
    case Value::Type::array: {
      auto array = nlohmann::json::array();
      for (const auto& item : *value.asArray()) array.push_back(encodeDefaultsValue(item));
      return array;
    }
    case Value::Type::dictionary: {
      auto object = nlohmann::json::object();
      for (const auto& [key, item] : *value.asDictionary()) object[key] = encodeDefaultsValue(item);
      if (object.contains(typeKey)) return tagged("dictionary", std::move(object));
      return object;
    }
  }
  return nullptr;
}

std::optional<Value> decodeDefaultsValue(const nlohmann::json& json) {
  return decode(json, 0);
}

}  // namespace corvane::platform
