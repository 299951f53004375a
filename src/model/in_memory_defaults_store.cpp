#include "model/in_memory_defaults_store.h"

namespace corvane::model {

std::optional<platform::Value> InMemoryDefaultsSuite::object(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

void InMemoryDefaultsSuite::set(const std::string& key, platform::Value value) {
  std::lock_guard lock(mutex_);
  if (auto it = values_.find(key); it != values_.end() && it->second == value) return;
  values_.insert_or_assign(key, std::move(value));
  written_ = true;
}

void InMemoryDefaultsSuite::remove(const std::string& key) {
  std::lock_guard lock(mutex_);
  if (values_.erase(key) > 0) written_ = true;
}

platform::Value::Dictionary InMemoryDefaultsSuite::dictionaryRepresentation() const {
  std::lock_guard lock(mutex_);
  return values_;
}

bool InMemoryDefaultsSuite::hasBeenWritten() const {
  std::lock_guard lock(mutex_);
  return written_;
}

void InMemoryDefaultsSuite::clear() {
  std::lock_guard lock(mutex_);
  values_.clear();
  written_ = false;
}

std::shared_ptr<platform::DefaultsSuite> InMemoryDefaultsStore::suite(const std::string& name) {
  if (name.empty()) return nullptr;
  std::lock_guard lock(mutex_);
  auto& entry = suites_[name];
  if (!entry) entry = std::make_shared<InMemoryDefaultsSuite>(name);
  return entry;
}

std::optional<platform::Value::Dictionary> InMemoryDefaultsStore::persistentDomain(
    const std::string& name) const {
  std::lock_guard lock(mutex_);
  auto it = suites_.find(name);
  if (it == suites_.end() || !it->second->hasBeenWritten()) return std::nullopt;
  return it->second->dictionaryRepresentation();
}

void InMemoryDefaultsStore::removePersistentDomain(const std::string& name) {
  std::lock_guard lock(mutex_);
  auto it = suites_.find(name);
  if (it != suites_.end()) it->second->clear();
}

}  // namespace corvane::model
