#include "operations/sentry_envelope.h"

#include <nlohmann/json.hpp>

#include "operations/json_text.h"
#include "operations/url.h"

namespace corvane::operations {

std::optional<SentryEnvelopeDSN> SentryEnvelopeDSN::parse(const std::string& text) {
  auto url = ParsedURL::parse(text);
  if (!url || url->scheme != "https" || url->host.empty() || url->user.empty()) {
    return std::nullopt;
  }
  std::string projectID;
  for (const auto& part : url->pathComponents()) {
    if (!projectID.empty()) projectID += '/';
    projectID += part;
  }
  if (projectID.empty()) return std::nullopt;
  SentryEnvelopeDSN dsn;
  dsn.original = text;
  dsn.publicKey = url->user;
  dsn.scheme = "https";
  dsn.host = url->host;
  dsn.projectID = projectID;
  dsn.port = url->port;
  return dsn;
}

std::string SentryEnvelopeDSN::envelopeURL() const {
  std::string url = scheme + "://" + host;
  if (port) url += ":" + std::to_string(*port);
  url += "/api/" + projectID + "/envelope/";
  url += "?sentry_key=" + percentEncodeQueryValue(publicKey);
  url += "&sentry_version=7";
  url += "&sentry_client=" + percentEncodeQueryValue("corvane-cocoa/1.0");
  return url;
}

std::string SentryEnvelope::data(runtime::WallTime sentAt) const {
  nlohmann::ordered_json header;
  header["event_id"] = report.eventID;
  header["dsn"] = dsn.original;
  header["sent_at"] = runtime::formatISO8601(sentAt);

  nlohmann::ordered_json item;
  item["type"] = "event";

  nlohmann::ordered_json exceptionValue;
  exceptionValue["type"] = report.type;
  exceptionValue["value"] = report.reason;
  nlohmann::ordered_json event;
  event["event_id"] = report.eventID;
  event["timestamp"] = runtime::formatISO8601(report.timestamp);
  event["platform"] = "cocoa";
  event["level"] = "fatal";
  event["logger"] = "Corvane";
  event["release"] = "Corvane@" + report.appVersion + "+" + report.buildNumber;
  event["environment"] = "production";
  event["exception"]["values"] = nlohmann::ordered_json::array({exceptionValue});
  event["tags"]["privacy_mode"] = "metadata_only";
  event["tags"]["os"] = report.operatingSystem;

  return compactJsonEscapingSlashes(header) + "\n" + compactJsonEscapingSlashes(item) + "\n" +
         compactJsonEscapingSlashes(event) + "\n";
}

}  // namespace corvane::operations
