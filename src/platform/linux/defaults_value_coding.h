#pragma once

#include <optional>

#include <nlohmann/json.hpp>

#include "platform/value.h"

namespace corvane::platform {

// The JSON form of a defaults value. Booleans, integers, finite reals, strings, arrays and
// dictionaries are plain JSON; the types JSON lacks carry a tag:
//   data        {"$type": "data", "value": "<Base64>"}
//   date        {"$type": "date", "value": <seconds since 1970, fractional>}
//   NaN, ±inf   {"$type": "real", "value": "nan" | "inf" | "-inf"}
//   a string that is not UTF-8   {"$type": "string", "value": "<Base64 of its bytes>"}
// and a dictionary that itself holds a "$type" key is wrapped as
//   {"$type": "dictionary", "value": {…}}
// so that no stored dictionary is ever mistaken for a tag.
nlohmann::json encodeDefaultsValue(const Value& value);

// The value, or nothing when the JSON is not a form written by encodeDefaultsValue (null, an
// unknown tag, bad Base64, …).
std::optional<Value> decodeDefaultsValue(const nlohmann::json& json);

}  // namespace corvane::platform
