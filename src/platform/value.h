#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "runtime/clock.h"

namespace corvane::platform {

// A typed property value, as stored in a defaults suite or read from an Info.plist:
// Boolean, integer, real, string, data, date, array or dictionary.
class Value {
 public:
  using Array = std::vector<Value>;
  using Dictionary = std::map<std::string, Value>;
  using Data = std::vector<std::uint8_t>;

  enum class Type { boolean, integer, real, string, data, date, array, dictionary };

  Value() : storage_(false) {}
  Value(bool v) : storage_(v) {}
  Value(int v) : storage_(static_cast<std::int64_t>(v)) {}
  Value(std::int64_t v) : storage_(v) {}
  Value(double v) : storage_(v) {}
  Value(const char* v) : storage_(std::string(v)) {}
  Value(std::string v) : storage_(std::move(v)) {}
  Value(Data v) : storage_(std::move(v)) {}
  Value(runtime::WallTime v) : storage_(v) {}
  Value(Array v) : storage_(std::move(v)) {}
  Value(Dictionary v) : storage_(std::move(v)) {}

  Type type() const { return static_cast<Type>(storage_.index()); }

  // Each accessor gives the value only when it has that type; an integer also reads as a real.
  std::optional<bool> asBool() const;
  std::optional<std::int64_t> asInteger() const;
  std::optional<double> asReal() const;
  const std::string* asString() const { return std::get_if<std::string>(&storage_); }
  const Data* asData() const { return std::get_if<Data>(&storage_); }
  std::optional<runtime::WallTime> asDate() const;
  const Array* asArray() const { return std::get_if<Array>(&storage_); }
  const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&storage_); }

  bool operator==(const Value& other) const { return storage_ == other.storage_; }

 private:
  std::variant<bool, std::int64_t, double, std::string, Data, runtime::WallTime, Array, Dictionary>
      storage_;
};

inline std::optional<bool> Value::asBool() const {
  if (auto* v = std::get_if<bool>(&storage_)) return *v;
  return std::nullopt;
}

inline std::optional<std::int64_t> Value::asInteger() const {
  if (auto* v = std::get_if<std::int64_t>(&storage_)) return *v;
  return std::nullopt;
}

inline std::optional<double> Value::asReal() const {
  if (auto* v = std::get_if<double>(&storage_)) return *v;
  if (auto* v = std::get_if<std::int64_t>(&storage_)) return static_cast<double>(*v);
  return std::nullopt;
}

inline std::optional<runtime::WallTime> Value::asDate() const {
  if (auto* v = std::get_if<runtime::WallTime>(&storage_)) return *v;
  return std::nullopt;
}

}  // namespace corvane::platform
