#pragma once

#include <filesystem>
#include <string>
#include <variant>

namespace corvane::operations {

// The outcome of one update check; its message is what the application shows.
struct UpdateCheckResult {
  struct UpdateAvailable {
    std::string version;
    std::filesystem::path packageURL;
    bool operator==(const UpdateAvailable&) const = default;
  };
  struct Unavailable {
    std::string reason;
    bool operator==(const Unavailable&) const = default;
  };
  struct Current {
    bool operator==(const Current&) const = default;
  };

  std::variant<UpdateAvailable, Unavailable, Current> value;

  static UpdateCheckResult updateAvailable(std::string version, std::filesystem::path packageURL) {
    return {UpdateAvailable{std::move(version), std::move(packageURL)}};
  }
  static UpdateCheckResult unavailable(std::string reason) {
    return {Unavailable{std::move(reason)}};
  }
  static UpdateCheckResult current() { return {Current{}}; }

  const UpdateAvailable* available() const { return std::get_if<UpdateAvailable>(&value); }

  std::string message() const;

  bool operator==(const UpdateCheckResult&) const = default;
};

// The sentences of an unavailable update.
namespace update_reasons {
inline constexpr const char* kNotConfigured = "Secure update channel is not configured.";
inline constexpr const char* kFeedUnreachable = "Update feed is unreachable.";
inline constexpr const char* kNoSignedReleases = "Update feed has no signed releases.";
inline constexpr const char* kArchiveUnreachable = "Update archive is unreachable.";
inline constexpr const char* kSignatureInvalid = "Update archive signature could not be verified.";
inline constexpr const char* kFeedUnreadable = "Could not read the signed update feed.";
}  // namespace update_reasons

}  // namespace corvane::operations
