#pragma once

#include <string>
#include <variant>

namespace corvane::menubar {

// What the session is doing, as the presenter control bar shows it.
class PresenterControlBarMode {
 public:
  // The session publishes filtered frames.
  struct ProtectedShareLive {
    int redactionCount = 0;                // shown by none of the texts
    int excludedAppCount = 0;              // applications kept out of the share
    bool isPaused = false;                 // publishing holds the current frame
    bool isHoldingExcludedApp = false;     // an excluded application is in front
    bool isSwitchingSpace = false;         // a desktop change is being applied
    bool isSpaceRecoveryRequired = false;  // a desktop change failed and waits for a retry
    std::string interactionTarget;  // the application named while an excluded one is in front

    bool operator==(const ProtectedShareLive&) const = default;
  };

  // A new mode is `preparing`.
  PresenterControlBarMode() = default;
  static PresenterControlBarMode preparing() { return PresenterControlBarMode(Preparing{}); }
  static PresenterControlBarMode sourceSealed() { return PresenterControlBarMode(SourceSealed{}); }
  static PresenterControlBarMode protectedShareLive(ProtectedShareLive live) {
    return PresenterControlBarMode(std::move(live));
  }

  bool isPreparing() const { return std::holds_alternative<Preparing>(value_); }
  bool isSourceSealed() const { return std::holds_alternative<SourceSealed>(value_); }
  // The live payload; null in the other modes.
  const ProtectedShareLive* live() const { return std::get_if<ProtectedShareLive>(&value_); }

  std::string title() const;
  std::string subtitle() const;
  std::string statusSummary() const;

  bool operator==(const PresenterControlBarMode&) const = default;

 private:
  struct Preparing {
    bool operator==(const Preparing&) const = default;
  };
  struct SourceSealed {
    bool operator==(const SourceSealed&) const = default;
  };
  template <class T>
  explicit PresenterControlBarMode(T value) : value_(std::move(value)) {}

  std::variant<Preparing, SourceSealed, ProtectedShareLive> value_;
};

}  // namespace corvane::menubar
