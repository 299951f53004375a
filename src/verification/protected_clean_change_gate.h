#pragma once

#include <cstdint>
#include <map>
#include <optional>

namespace corvane::verification {

// How often each change signature has been found clean: a change is trusted once its signature
// has been confirmed `requiredConfirmations` times. Keeps at most kMaximumSignatures counts.
struct ProtectedCleanChangeGate {
  static constexpr std::size_t kMaximumSignatures = 16;

  std::optional<std::uint64_t> signature;  // the last one recorded
  int confirmationCount = 0;
  std::map<std::uint64_t, int> confirmationCounts;
  int requiredConfirmations = 1;

  // Counts one clean result for `signature` and says whether it is now confirmed. Signature 0
  // (a change whose tiles are unknown) is never confirmed and forgets everything.
  bool recordCleanResult(std::uint64_t signature);
  // Forgets the signature and every count; the requirement stays.
  void clear();
};

}  // namespace corvane::verification
