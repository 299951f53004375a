#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace corvane::model {

// A display the user can choose to share: its number, name and a line of details.
struct CaptureDisplay {
  std::uint32_t id = 0;
  std::string name;
  std::string details;

  bool operator==(const CaptureDisplay&) const = default;
};

void to_json(nlohmann::json& json, const CaptureDisplay& display);
void from_json(const nlohmann::json& json, CaptureDisplay& display);

}  // namespace corvane::model
