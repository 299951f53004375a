#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace corvane::model {

// Something the settings store met on its own that the user must hear of: a settings file it
// could not read, so the settings started again from their defaults (the old file kept aside
// when it could be), or a change it could not save.
struct SettingsStoreProblem {
  enum class Kind { reset, notSaved };

  Kind kind = Kind::reset;
  std::string reason;
  std::optional<std::filesystem::path> keptAs;

  bool operator==(const SettingsStoreProblem&) const = default;

  // What the user reads: for a reset, that the settings were reset and where the old file
  // was kept; for a failed save, that changes last only until Corvane quits, and why.
  std::string sentence() const {
    if (kind == Kind::notSaved) {
      return "Settings cannot be saved: " + reason +
             " Changes apply now but are lost when Corvane quits.";
    }
    std::string text = "Corvane could not read its settings and started from the defaults.";
    if (keptAs) text += " The old settings file was kept at " + keptAs->string() + ".";
    return text;
  }
};

}  // namespace corvane::model
