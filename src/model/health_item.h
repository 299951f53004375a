#pragma once

#include <array>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "model/enum_coding.h"
#include "model/uuid.h"

namespace corvane::model {

enum class HealthState { pass, inactive, warn, fail };

template <>
struct EnumCases<HealthState> {
  static constexpr std::array cases{
      EnumCase<HealthState>{HealthState::pass, "pass"},
      EnumCase<HealthState>{HealthState::inactive, "inactive"},
      EnumCase<HealthState>{HealthState::warn, "warn"},
      EnumCase<HealthState>{HealthState::fail, "fail"},
  };
};

// One readiness row; every row made gets a fresh random id.
struct HealthItem {
  Uuid id = Uuid::random();
  std::string title;
  std::string detail;
  HealthState state = HealthState::inactive;

  bool operator==(const HealthItem&) const = default;
};

void to_json(nlohmann::json& json, const HealthItem& item);
void from_json(const nlohmann::json& json, HealthItem& item);

}  // namespace corvane::model
