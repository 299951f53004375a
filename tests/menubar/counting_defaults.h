#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "model/in_memory_defaults_store.h"

namespace corvane::menubar::testing {

// A defaults suite that counts its writes, in all and per key.
class CountingDefaultsSuite final : public platform::DefaultsSuite {
 public:
  explicit CountingDefaultsSuite(std::string name = "com.pemberquist.corvane")
      : inner_(std::move(name)) {}
  const std::string& name() const override { return inner_.name(); }
  std::optional<platform::Value> object(const std::string& key) const override {
    return inner_.object(key);
  }
  void set(const std::string& key, platform::Value value) override {
    ++writes;
    ++writesByKey[key];
    inner_.set(key, std::move(value));
  }
  void remove(const std::string& key) override { inner_.remove(key); }
  platform::Value::Dictionary dictionaryRepresentation() const override {
    return inner_.dictionaryRepresentation();
  }

  int writes = 0;
  std::map<std::string, int> writesByKey;

 private:
  model::InMemoryDefaultsSuite inner_;
};

// Hands out counting suites by name.
class CountingDefaultsStore final : public platform::DefaultsStore {
 public:
  std::shared_ptr<platform::DefaultsSuite> suite(const std::string& name) override {
    auto& slot = suites[name];
    if (!slot) slot = std::make_shared<CountingDefaultsSuite>(name);
    return slot;
  }
  std::shared_ptr<platform::DefaultsSuite> standard() override { return suite("standard"); }
  std::optional<platform::Value::Dictionary> persistentDomain(const std::string&) const override {
    return std::nullopt;
  }
  void removePersistentDomain(const std::string&) override {}

  std::map<std::string, std::shared_ptr<CountingDefaultsSuite>> suites;
};

}  // namespace corvane::menubar::testing
