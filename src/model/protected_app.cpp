#include "model/protected_app.h"

#include <nlohmann/json.hpp>

namespace corvane::model {

const std::vector<ProtectedApp>& ProtectedApp::defaults() {
  // Applications people commonly keep private during a share: two password managers, a mail
  // client and three messengers, under the ids their desktop entries (Flathub and upstream
  // packages) carry.
  static const std::vector<ProtectedApp> apps{
      {"org.keepassxc.KeePassXC", "KeePassXC", "key.fill", true},
      {"com.bitwarden.desktop", "Bitwarden", "lock.shield.fill", true},
      {"org.mozilla.Thunderbird", "Thunderbird", "envelope.fill", true},
      {"org.signal.Signal", "Signal", "message.fill", true},
      {"org.telegram.desktop", "Telegram", "paperplane.fill", true},
      {"com.slack.Slack", "Slack", "bubble.left.and.bubble.right.fill", true},
  };
  return apps;
}

void to_json(nlohmann::json& json, const ProtectedApp& app) {
  json = nlohmann::json{{"id", app.id},
                        {"name", app.name},
                        {"systemImage", app.systemImage},
                        {"isEnabled", app.isEnabled}};
}

void from_json(const nlohmann::json& json, ProtectedApp& app) {
  json.at("id").get_to(app.id);
  json.at("name").get_to(app.name);
  json.at("systemImage").get_to(app.systemImage);
  json.at("isEnabled").get_to(app.isEnabled);
}

}  // namespace corvane::model
