#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace corvane::model {

// An application left out of every capture. `id` is its application id (the desktop-entry id,
// reverse-DNS where it has one) and never changes once made; `name` is the name stored when it
// was added; `systemImage` names the symbol shown when the application's own icon is missing.
struct ProtectedApp {
  std::string id;
  std::string name;
  std::string systemImage;
  bool isEnabled = true;

  // The built-in list, used when nothing is stored and when the user restores the defaults.
  static const std::vector<ProtectedApp>& defaults();

  bool operator==(const ProtectedApp&) const = default;
};

void to_json(nlohmann::json& json, const ProtectedApp& app);
void from_json(const nlohmann::json& json, ProtectedApp& app);

}  // namespace corvane::model

template <>
struct std::hash<corvane::model::ProtectedApp> {
  std::size_t operator()(const corvane::model::ProtectedApp& app) const noexcept {
    return std::hash<std::string>()(app.id);
  }
};
