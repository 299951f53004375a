#include "model/protection_options.h"

#include <cstdint>
#include <stdexcept>

#include <nlohmann/json.hpp>

#include "model/json_fields.h"

namespace corvane::model {

void to_json(nlohmann::json& json, const ProtectionOptions& options) {
  json = nlohmann::json{{"hideDesktopIcons", options.hideDesktopIcons},
                        {"remindToSilenceNotifications", options.remindToSilenceNotifications},
                        {"continuousScanning", options.continuousScanning},
                        {"scanIntervalSeconds", options.scanIntervalSeconds},
                        {"maskAllRecognizedText", options.maskAllRecognizedText},
                        {"strictShareGuard", options.strictShareGuard}};
  encodeIfPresent(json, "selectedDisplayID", options.selectedDisplayID);
}

void from_json(const nlohmann::json& json, ProtectionOptions& options) {
  if (!json.is_object()) throw std::invalid_argument("protection options must be an object");
  ProtectionOptions decoded;
  decodeOrKeep(json, "hideDesktopIcons", decoded.hideDesktopIcons);
  decodeOrKeep(json, "remindToSilenceNotifications", decoded.remindToSilenceNotifications);
  decodeOrKeep(json, "continuousScanning", decoded.continuousScanning);
  decodeOrKeep(json, "scanIntervalSeconds", decoded.scanIntervalSeconds);
  decodeOrKeep(json, "maskAllRecognizedText", decoded.maskAllRecognizedText);
  if (auto display = json.find("selectedDisplayID"); display != json.end() && !display->is_null()) {
    // A display number: never negative, within 32 bits.
    if (!display->is_number_unsigned() || display->get<std::uint64_t>() > UINT32_MAX) {
      throw std::invalid_argument("selectedDisplayID is not a display number");
    }
    decoded.selectedDisplayID = display->get<std::uint32_t>();
  }
  decodeOrKeep(json, "strictShareGuard", decoded.strictShareGuard);
  options = decoded;
}

}  // namespace corvane::model
