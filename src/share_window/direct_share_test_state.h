#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace corvane::share_window {

// The direct-share test's stage. The controller publishes one; the output window keeps a copy
// that decides whether the window may come to the front. `generation` belongs to the test
// transaction; `code` and `message` only to the cases that carry them.
struct DirectShareTestState {
  enum class Kind {
    awaitingSystemConfirmation,
    pendingTooLong,
    stopDeferred,
    accepted,
    sealedAwaitingHostStop,
    notAcceptedAmbiguous,
    failed,
    disconnected,
    idle,
    unsupportedOS,
    protectedOutputUnavailable,
    protectedOutputNotLive,
  };

  Kind kind = Kind::idle;
  std::uint64_t generation = 0;
  std::optional<int> code;
  std::string message;

  static DirectShareTestState idle() { return {}; }
  static DirectShareTestState withGeneration(Kind kind, std::uint64_t generation) {
    return {kind, generation, std::nullopt, {}};
  }
  static DirectShareTestState notAcceptedAmbiguous(std::uint64_t generation, int code) {
    return {Kind::notAcceptedAmbiguous, generation, code, {}};
  }
  static DirectShareTestState failed(std::uint64_t generation, std::optional<int> code,
                                     std::string message) {
    return {Kind::failed, generation, code, std::move(message)};
  }

  // The output is retained by the test: the window must not be brought forward.
  bool retainsOutput() const {
    return kind == Kind::accepted || kind == Kind::sealedAwaitingHostStop;
  }

  bool operator==(const DirectShareTestState&) const = default;
};

}  // namespace corvane::share_window
