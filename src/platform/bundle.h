#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/value.h"
#include "runtime/result.h"

namespace corvane::platform {

// An install directory: Info.plist, bin/corvane and resources. Its information dictionary is read
// once when the bundle is loaded and never written.
struct Bundle {
  std::filesystem::path root;
  Value::Dictionary info;

  std::optional<std::string> string(const std::string& key) const;
  std::optional<bool> boolean(const std::string& key) const;
  std::optional<std::string> bundleIdentifier() const { return string("CFBundleIdentifier"); }
  std::filesystem::path infoPlistPath() const { return root / "Info.plist"; }
  std::filesystem::path executablePath() const { return root / "bin" / "corvane"; }
};

inline std::optional<std::string> Bundle::string(const std::string& key) const {
  auto it = info.find(key);
  if (it == info.end() || !it->second.asString()) return std::nullopt;
  return *it->second.asString();
}

inline std::optional<bool> Bundle::boolean(const std::string& key) const {
  auto it = info.find(key);
  if (it == info.end()) return std::nullopt;
  return it->second.asBool();
}

}  // namespace corvane::platform
