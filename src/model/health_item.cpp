#include "model/health_item.h"

#include <nlohmann/json.hpp>

namespace corvane::model {

void to_json(nlohmann::json& json, const HealthItem& item) {
  json = nlohmann::json{
      {"id", item.id}, {"title", item.title}, {"detail", item.detail}, {"state", item.state}};
}

void from_json(const nlohmann::json& json, HealthItem& item) {
  json.at("id").get_to(item.id);
  json.at("title").get_to(item.title);
  json.at("detail").get_to(item.detail);
  json.at("state").get_to(item.state);
}

}  // namespace corvane::model
