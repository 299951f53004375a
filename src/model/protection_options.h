#pragma once

#include <cstdint>
#include <optional>

#include <nlohmann/json_fwd.hpp>

namespace corvane::model {

// The user's protection settings, stored as JSON under "protectionOptions".
struct ProtectionOptions {
  bool hideDesktopIcons = true;
  bool remindToSilenceNotifications = true;
  bool continuousScanning = true;
  double scanIntervalSeconds = 1.0;
  bool maskAllRecognizedText = false;
  // Absent means the main display.
  std::optional<std::uint32_t> selectedDisplayID;
  bool strictShareGuard = true;

  bool operator==(const ProtectionOptions&) const = default;
};

// A stored object that lacks a key (written before that setting existed) keeps the default for
// it, so an update that adds a setting never throws the user's other settings away. A key that
// is present with the wrong type still fails the decoding.
void to_json(nlohmann::json& json, const ProtectionOptions& options);
void from_json(const nlohmann::json& json, ProtectionOptions& options);

}  // namespace corvane::model
