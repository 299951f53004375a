#include "verification/protected_clean_change_gate.h"

#include <algorithm>

namespace corvane::verification {

bool ProtectedCleanChangeGate::recordCleanResult(std::uint64_t value) {
  if (value == 0) {
    clear();
    return false;
  }
  signature = value;
  confirmationCount = ++confirmationCounts[value];
  if (confirmationCounts.size() > kMaximumSignatures) {
    // The least-confirmed other signature goes (the lowest of equals, so the choice is stable).
    auto evicted = confirmationCounts.end();
    for (auto it = confirmationCounts.begin(); it != confirmationCounts.end(); ++it) {
      if (it->first == value) continue;
      if (evicted == confirmationCounts.end() || it->second < evicted->second) evicted = it;
    }
    if (evicted != confirmationCounts.end()) confirmationCounts.erase(evicted);
  }
  return confirmationCount >= requiredConfirmations;
}

void ProtectedCleanChangeGate::clear() {
  signature.reset();
  confirmationCount = 0;
  confirmationCounts.clear();
}

}  // namespace corvane::verification
