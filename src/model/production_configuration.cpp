#include "model/production_configuration.h"

#include <algorithm>
#include <cctype>

#include "platform/text_cleaning.h"

namespace corvane::model {

using platform::trimmedText;
namespace {

// Build files write flags as Booleans, but a string "YES"/"true"/"1" (what template expansion
// produces) or an integer counts too; anything else keeps the default.
bool flag(const platform::Bundle& bundle, const char* key, bool fallback) {
  auto it = bundle.info.find(key);
  if (it == bundle.info.end()) return fallback;
  if (auto value = it->second.asBool()) return *value;
  if (auto value = it->second.asInteger()) return *value != 0;
  if (const std::string* text = it->second.asString()) {
    std::string lowered = trimmedText(*text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lowered == "yes" || lowered == "true" || lowered == "1") return true;
    if (lowered == "no" || lowered == "false" || lowered == "0") return false;
  }
  return fallback;
}

std::optional<std::string> urlSetting(const platform::Bundle& bundle, const char* key) {
  auto text = bundle.string(key);
  if (!text) return std::nullopt;
  return httpsURL(*text);
}

std::optional<std::string> nonEmptyTrimmed(const platform::Bundle& bundle, const char* key) {
  auto text = bundle.string(key);
  if (!text) return std::nullopt;
  std::string value = trimmedText(*text);
  if (value.empty()) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::string> httpsURL(const std::string& text) {
  const std::string url = trimmedText(text);
  constexpr std::string_view scheme = "https://";
  if (url.size() <= scheme.size()) return std::nullopt;
  for (std::size_t i = 0; i < scheme.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(url[i])) != scheme[i]) return std::nullopt;
  }
  for (unsigned char c : url) {
    if (c <= 0x20 || c == 0x7F) return std::nullopt;
  }
  const std::string_view rest = std::string_view(url).substr(scheme.size());
  const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  const std::string_view host = authority.substr(
      authority.rfind('@') == std::string_view::npos ? 0 : authority.rfind('@') + 1);
  if (host.empty() || host.front() == ':') return std::nullopt;
  return url;
}

ProductionConfiguration ProductionConfiguration::current(const platform::Bundle& bundle) {
  ProductionConfiguration configuration;
  configuration.shortVersion = nonEmptyTrimmed(bundle, "CFBundleShortVersionString").value_or("");
  configuration.buildVersion = nonEmptyTrimmed(bundle, "CFBundleVersion").value_or("");
  configuration.isBetaRelease = flag(bundle, betaChannelKey, false);
  configuration.crashReportingEnabled = flag(bundle, crashReportingEnabledKey, true);
  configuration.automaticUpdatesEnabled = flag(bundle, automaticUpdatesEnabledKey, true);
  configuration.crashReportingDSN = urlSetting(bundle, crashReportingDSNKey);
  configuration.updateFeedURL = urlSetting(bundle, updateFeedURLKey);
  if (!configuration.updateFeedURL) {
    configuration.updateFeedURL = urlSetting(bundle, fallbackUpdateFeedURLKey);
  }
  configuration.sparklePublicEDKey = nonEmptyTrimmed(bundle, publicEDKeyKey);
  configuration.privacyURL = urlSetting(bundle, privacyURLKey);
  configuration.supportURL = urlSetting(bundle, supportURLKey);
  configuration.betaDetailsURL = urlSetting(bundle, betaDetailsURLKey);
  return configuration;
}

bool ProductionConfiguration::isUpdateConfigured() const {
  return automaticUpdatesEnabled && updateFeedURL.has_value() && sparklePublicEDKey.has_value() &&
         !sparklePublicEDKey->empty();
}

std::vector<std::string> ProductionConfiguration::missingItems() const {
  std::vector<std::string> missing;
  if (!crashReportingDSN) missing.emplace_back("Crash reporting");
  if (!updateFeedURL) missing.emplace_back("Update feed");
  if (!sparklePublicEDKey || sparklePublicEDKey->empty())
    missing.emplace_back("Update signing key");
  if (!privacyURL) missing.emplace_back("Privacy URL");
  if (!supportURL) missing.emplace_back("Support URL");
  return missing;
}

std::vector<std::string> ProductionConfiguration::betaMissingItems() const {
  std::vector<std::string> missing;
  if (!isBetaRelease) missing.emplace_back("Beta channel marker");
  if (crashReportingEnabled) missing.emplace_back("Disabled beta crash reporting");
  if (automaticUpdatesEnabled) missing.emplace_back("Disabled beta automatic updates");
  if (!privacyURL) missing.emplace_back("Privacy URL");
  if (!supportURL) missing.emplace_back("Support URL");
  if (!betaDetailsURL) missing.emplace_back("Beta details URL");
  return missing;
}

}  // namespace corvane::model
