#include "model/detected_item.h"

#include <nlohmann/json.hpp>

#include "model/geometry_coding.h"
#include "model/json_fields.h"

namespace corvane::model {

void to_json(nlohmann::json& json, const DetectedItem& item) {
  json = nlohmann::json{{"id", item.id},
                        {"text", item.text},
                        {"kind", item.kind},
                        {"source", item.source},
                        {"risk", item.risk},
                        {"confidence", item.confidence},
                        {"decision", item.decision}};
  encodeIfPresent(json, "screenFrame", item.screenFrame);
}

void from_json(const nlohmann::json& json, DetectedItem& item) {
  json.at("id").get_to(item.id);
  json.at("text").get_to(item.text);
  item.rawText.reset();
  json.at("kind").get_to(item.kind);
  json.at("source").get_to(item.source);
  json.at("risk").get_to(item.risk);
  json.at("confidence").get_to(item.confidence);
  decodeIfPresent(json, "screenFrame", item.screenFrame);
  json.at("decision").get_to(item.decision);
}

}  // namespace corvane::model

std::size_t std::hash<corvane::model::DetectedItem>::operator()(
    const corvane::model::DetectedItem& item) const noexcept {
  auto mix = [](std::size_t seed, std::size_t value) {
    return seed ^ (value + 0x9e3779b97f4a7c15ull + (seed << 6) + (seed >> 2));
  };
  std::size_t hash = std::hash<corvane::model::Uuid>()(item.id);
  hash = mix(hash, std::hash<std::string>()(item.text));
  hash = mix(hash, item.rawText ? std::hash<std::string>()(*item.rawText) : 0);
  hash = mix(hash, static_cast<std::size_t>(item.kind));
  hash = mix(hash, std::hash<std::string>()(item.source));
  hash = mix(hash, static_cast<std::size_t>(item.risk));
  hash = mix(hash, std::hash<double>()(item.confidence));
  if (item.screenFrame) {
    hash = mix(hash, std::hash<double>()(item.screenFrame->origin.x));
    hash = mix(hash, std::hash<double>()(item.screenFrame->origin.y));
    hash = mix(hash, std::hash<double>()(item.screenFrame->size.width));
    hash = mix(hash, std::hash<double>()(item.screenFrame->size.height));
  }
  return mix(hash, static_cast<std::size_t>(item.decision));
}
