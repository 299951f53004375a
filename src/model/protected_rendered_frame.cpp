#include "model/protected_rendered_frame.h"

#include <nlohmann/json.hpp>

#include "model/geometry_coding.h"

namespace corvane::model {

void to_json(nlohmann::json& json, const ProtectedRenderedFrame& frame) {
  json = nlohmann::json{{"sequence", frame.sequence},
                        {"pixelSize", frame.pixelSize},
                        {"redactions", frame.redactions}};
}

void from_json(const nlohmann::json& json, ProtectedRenderedFrame& frame) {
  json.at("sequence").get_to(frame.sequence);
  json.at("pixelSize").get_to(frame.pixelSize);
  json.at("redactions").get_to(frame.redactions);
}

}  // namespace corvane::model
