#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace corvane::model {

// Something the settings store met on its own that the user must hear of: a settings file it
// could not read, so the settings started from their defaults (the old file kept aside when it
// could be), a change it could not save, or a save that worked again after that.
struct SettingsStoreProblem {
  enum class Kind { reset, notSaved, savedAgain };

  static constexpr const char* resetSentence =
      "Corvane could not read its settings file and started from the defaults.";
  static constexpr const char* notSavedSentence =
      "Changes to settings cannot be saved and will be lost when Corvane quits.";
  static constexpr const char* savedAgainSentence = "Changes to settings are saved again.";

  Kind kind = Kind::reset;
  std::string reason;
  std::optional<std::filesystem::path> keptAs;

  bool operator==(const SettingsStoreProblem&) const = default;

  // What the user reads: for a reset, that the settings were reset and where the old file was
  // kept; for a failed save, that changes last only until Corvane quits, then why.
  std::string sentence() const {
    switch (kind) {
      case Kind::notSaved:
        return reason.empty() ? notSavedSentence : std::string(notSavedSentence) + " " + reason;
      case Kind::savedAgain:
        return savedAgainSentence;
      case Kind::reset:
        break;
    }
    std::string text = resetSentence;
    if (keptAs) text += " The old settings file was kept at " + keptAs->string() + ".";
    return text;
  }
};

}  // namespace corvane::model
