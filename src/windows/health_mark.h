#pragma once

#include <string>

#include "model/health_item.h"
#include "model/palette.h"

namespace corvane::windows {

// How a readiness state is drawn: a symbol in a colour.
struct HealthMark {
  std::string systemImage;
  model::StatusColor color = model::StatusColor::secondary;

  bool operator==(const HealthMark&) const = default;
};

// pass: green check, inactive: secondary minus, warn: amber triangle, fail: red cross.
HealthMark healthMark(model::HealthState state);

}  // namespace corvane::windows
