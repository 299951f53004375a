#pragma once

#include <cstdint>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "model/protected_redaction.h"
#include "platform/geometry.h"

namespace corvane::model {

// The record published with each output frame.
struct ProtectedRenderedFrame {
  std::uint64_t sequence = 0;
  platform::Size pixelSize;
  std::vector<ProtectedRedaction> redactions;

  bool operator==(const ProtectedRenderedFrame&) const = default;
};

void to_json(nlohmann::json& json, const ProtectedRenderedFrame& frame);
void from_json(const nlohmann::json& json, ProtectedRenderedFrame& frame);

}  // namespace corvane::model
