#include "model/capture_display.h"

#include <nlohmann/json.hpp>

namespace corvane::model {

void to_json(nlohmann::json& json, const CaptureDisplay& display) {
  json = nlohmann::json{{"id", display.id}, {"name", display.name}, {"details", display.details}};
}

void from_json(const nlohmann::json& json, CaptureDisplay& display) {
  json.at("id").get_to(display.id);
  json.at("name").get_to(display.name);
  json.at("details").get_to(display.details);
}

}  // namespace corvane::model
