#pragma once

#include <cstdint>

namespace corvane::app {

// Who holds the direct-share test's target window, within one test transaction.
struct DirectShareTargetOwnership {
  enum class Kind { pending, accepted, sealed, none };

  Kind kind = Kind::none;
  std::uint64_t generation = 0;  // meaningless for none

  static DirectShareTargetOwnership none() { return {}; }
  static DirectShareTargetOwnership pending(std::uint64_t generation) {
    return {Kind::pending, generation};
  }
  static DirectShareTargetOwnership accepted(std::uint64_t generation) {
    return {Kind::accepted, generation};
  }
  static DirectShareTargetOwnership sealed(std::uint64_t generation) {
    return {Kind::sealed, generation};
  }

  bool operator==(const DirectShareTargetOwnership& other) const {
    return kind == other.kind && (kind == Kind::none || generation == other.generation);
  }
};

// One direct-share test transaction: the ownership of its target and the counter that tells a
// late answer of an older transaction apart.
struct DirectShareTransaction {
  DirectShareTargetOwnership ownership;
  std::uint64_t generation = 0;  // grows with wrap-around

  bool operator==(const DirectShareTransaction&) const = default;
};

}  // namespace corvane::app
