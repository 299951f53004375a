#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/defaults_store.h"

namespace corvane::model {

// Defaults suites kept in memory only: what the settings fall back to when no store is
// installed, and a store for tests that need no files. Thread-safe.
class InMemoryDefaultsSuite final : public platform::DefaultsSuite {
 public:
  explicit InMemoryDefaultsSuite(std::string name) : name_(std::move(name)) {}

  const std::string& name() const override { return name_; }
  std::optional<platform::Value> object(const std::string& key) const override;
  void set(const std::string& key, platform::Value value) override;
  void remove(const std::string& key) override;
  platform::Value::Dictionary dictionaryRepresentation() const override;

  bool hasBeenWritten() const;
  void clear();

 private:
  const std::string name_;
  mutable std::mutex mutex_;
  platform::Value::Dictionary values_;
  bool written_ = false;
};

class InMemoryDefaultsStore final : public platform::DefaultsStore {
 public:
  std::shared_ptr<platform::DefaultsSuite> suite(const std::string& name) override;
  std::shared_ptr<platform::DefaultsSuite> standard() override { return suite("standard"); }
  std::optional<platform::Value::Dictionary> persistentDomain(
      const std::string& name) const override;
  void removePersistentDomain(const std::string& name) override;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::shared_ptr<InMemoryDefaultsSuite>> suites_;
};

}  // namespace corvane::model
