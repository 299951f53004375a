#include "model/protected_redaction.h"

#include <nlohmann/json.hpp>

#include "model/geometry_coding.h"

namespace corvane::model {

void to_json(nlohmann::json& json, const ProtectedRedaction& redaction) {
  json = nlohmann::json{{"id", redaction.id},
                        {"title", redaction.title},
                        {"kind", redaction.kind},
                        {"risk", redaction.risk},
                        {"normalizedFrame", redaction.normalizedFrame},
                        {"confidence", redaction.confidence},
                        {"scope", redaction.scope}};
}

void from_json(const nlohmann::json& json, ProtectedRedaction& redaction) {
  json.at("id").get_to(redaction.id);
  json.at("title").get_to(redaction.title);
  json.at("kind").get_to(redaction.kind);
  json.at("risk").get_to(redaction.risk);
  json.at("normalizedFrame").get_to(redaction.normalizedFrame);
  json.at("confidence").get_to(redaction.confidence);
  json.at("scope").get_to(redaction.scope);
}

}  // namespace corvane::model
