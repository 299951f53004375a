#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/value.h"

namespace corvane::platform {

// One defaults suite: a persistent map from keys to typed values. Writes are kept at once (a
// store may save them a moment later, off the caller's thread); a failure to persist is reported
// through the store's recovery notes, never to the caller.
class DefaultsSuite {
 public:
  virtual ~DefaultsSuite() = default;
  virtual const std::string& name() const = 0;
  virtual std::optional<Value> object(const std::string& key) const = 0;
  // Stores `value` under `key`; a value equal to the stored one writes nothing.
  virtual void set(const std::string& key, Value value) = 0;
  virtual void remove(const std::string& key) = 0;
  virtual Value::Dictionary dictionaryRepresentation() const = 0;

  // Typed reads: absent or of another type gives the fallback.
  bool boolValue(const std::string& key, bool fallback = false) const;
  std::int64_t integerValue(const std::string& key, std::int64_t fallback = 0) const;
  std::optional<std::string> stringValue(const std::string& key) const;
  std::optional<Value::Data> dataValue(const std::string& key) const;
  std::optional<runtime::WallTime> dateValue(const std::string& key) const;
};

// Opens suites by name and manages whole persistent domains (a domain is a suite's stored file).
class DefaultsStore {
 public:
  virtual ~DefaultsStore() = default;
  // The suite of that name, created empty when it does not exist; nullptr when the name is not
  // usable as a suite name.
  virtual std::shared_ptr<DefaultsSuite> suite(const std::string& name) = 0;
  // The fall-back suite used when no named suite can be opened.
  virtual std::shared_ptr<DefaultsSuite> standard() = 0;
  // The stored contents of a domain, absent when it was never written.
  virtual std::optional<Value::Dictionary> persistentDomain(const std::string& name) const = 0;
  virtual void removePersistentDomain(const std::string& name) = 0;
  // Returns once every change made so far is saved; at termination, so none is lost.
  virtual void flush() {}
};

inline bool DefaultsSuite::boolValue(const std::string& key, bool fallback) const {
  auto value = object(key);
  if (!value) return fallback;
  if (auto b = value->asBool()) return *b;
  if (auto i = value->asInteger()) return *i != 0;
  return fallback;
}

inline std::int64_t DefaultsSuite::integerValue(const std::string& key,
                                                std::int64_t fallback) const {
  auto value = object(key);
  if (!value) return fallback;
  if (auto i = value->asInteger()) return *i;
  if (auto b = value->asBool()) return *b ? 1 : 0;
  return fallback;
}

inline std::optional<std::string> DefaultsSuite::stringValue(const std::string& key) const {
  auto value = object(key);
  if (!value || !value->asString()) return std::nullopt;
  return *value->asString();
}

inline std::optional<Value::Data> DefaultsSuite::dataValue(const std::string& key) const {
  auto value = object(key);
  if (!value || !value->asData()) return std::nullopt;
  return *value->asData();
}

inline std::optional<runtime::WallTime> DefaultsSuite::dateValue(const std::string& key) const {
  auto value = object(key);
  if (!value) return std::nullopt;
  return value->asDate();
}

}  // namespace corvane::platform
