#include "operations/crash_report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <random>

#include "operations/json_text.h"

namespace corvane::operations {
namespace {

using nlohmann::ordered_json;
using runtime::Result;

std::optional<std::string> stringMember(const nlohmann::json& json, const char* key) {
  auto it = json.find(key);
  if (it == json.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

bool dateMember(const nlohmann::json& json, const char* key, runtime::WallTime& out) {
  auto text = stringMember(json, key);
  return text && runtime::parseISO8601(*text, out);
}

}  // namespace

CrashReport CrashReport::make(std::string type, std::string reason, runtime::WallTime timestamp,
                              const ApplicationIdentity& identity) {
  CrashReport report;
  report.eventID = makeEventID();
  report.timestamp = timestamp;
  report.type = std::move(type);
  report.reason = std::move(reason);
  report.appVersion = identity.appVersion;
  report.buildNumber = identity.buildNumber;
  report.operatingSystem = identity.operatingSystem;
  return report;
}

double uploadBackoffSeconds(int attempts) {
  const int k = std::clamp(attempts, 1, 16);
  return std::min(86400.0, 60.0 * std::ldexp(1.0, k - 1));
}

CrashReport CrashReport::recordingUploadFailure(runtime::WallTime now) const {
  CrashReport copy = *this;
  const int attempts = uploadAttempts.value_or(0) + 1;
  copy.uploadAttempts = attempts;
  copy.lastUploadFailureAt = now;
  copy.nextUploadAttemptAt =
      now + std::chrono::duration_cast<runtime::WallTime::duration>(
                std::chrono::duration<double>(uploadBackoffSeconds(attempts)));
  return copy;
}

std::string CrashReport::encode() const {
  ordered_json json;
  json["eventID"] = eventID;
  json["timestamp"] = runtime::formatISO8601(timestamp);
  json["type"] = type;
  json["reason"] = reason;
  json["appVersion"] = appVersion;
  json["buildNumber"] = buildNumber;
  json["operatingSystem"] = operatingSystem;
  if (uploadAttempts) json["uploadAttempts"] = *uploadAttempts;
  if (lastUploadFailureAt)
    json["lastUploadFailureAt"] = runtime::formatISO8601(*lastUploadFailureAt);
  if (nextUploadAttemptAt)
    json["nextUploadAttemptAt"] = runtime::formatISO8601(*nextUploadAttemptAt);
  return compactJsonEscapingSlashes(json);
}

Result<CrashReport> CrashReport::decode(const std::string& text) {
  const auto json = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (!json.is_object()) return Result<CrashReport>::failure("Crash report is not a JSON object.");
  CrashReport report;
  auto eventID = stringMember(json, "eventID");
  auto type = stringMember(json, "type");
  auto reason = stringMember(json, "reason");
  auto appVersion = stringMember(json, "appVersion");
  auto buildNumber = stringMember(json, "buildNumber");
  auto operatingSystem = stringMember(json, "operatingSystem");
  if (!eventID || !type || !reason || !appVersion || !buildNumber || !operatingSystem ||
      !dateMember(json, "timestamp", report.timestamp)) {
    return Result<CrashReport>::failure("Crash report lacks a required field.");
  }
  if (!isEventID(*eventID)) return Result<CrashReport>::failure("Malformed event identifier.");
  report.eventID = *eventID;
  report.type = *type;
  report.reason = *reason;
  report.appVersion = *appVersion;
  report.buildNumber = *buildNumber;
  report.operatingSystem = *operatingSystem;
  if (auto it = json.find("uploadAttempts"); it != json.end() && !it->is_null()) {
    if (!it->is_number_integer()) return Result<CrashReport>::failure("Bad uploadAttempts.");
    const auto attempts = it->get<std::int64_t>();
    if (attempts < 0 || attempts > 1'000'000) {
      return Result<CrashReport>::failure("Bad uploadAttempts.");
    }
    report.uploadAttempts = static_cast<int>(attempts);
  }
  for (auto [key, slot] : {std::pair{"lastUploadFailureAt", &report.lastUploadFailureAt},
                           std::pair{"nextUploadAttemptAt", &report.nextUploadAttemptAt}}) {
    if (auto it = json.find(key); it != json.end() && !it->is_null()) {
      runtime::WallTime date;
      if (!dateMember(json, key, date)) return Result<CrashReport>::failure("Bad date field.");
      *slot = date;
    }
  }
  return report;
}

bool isEventID(const std::string& text) {
  return text.size() == 32 && text.find_first_not_of("0123456789abcdef") == std::string::npos;
}

std::string makeEventID() {
  // Fresh entropy every time: a generator's state would be copied into forked children.
  std::random_device entropy;
  std::array<std::uint8_t, 16> bytes{};
  for (std::size_t i = 0; i < bytes.size(); i += 4) {
    const std::uint32_t word = entropy();
    for (std::size_t j = 0; j < 4; ++j) bytes[i + j] = static_cast<std::uint8_t>(word >> (8 * j));
  }
  bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id;
  id.reserve(32);
  for (std::uint8_t b : bytes) {
    id += kHex[b >> 4];
    id += kHex[b & 0x0F];
  }
  return id;
}

}  // namespace corvane::operations
