#pragma once

#include <cstdint>
#include <vector>

#include "model/protected_redaction.h"

namespace corvane::verification {

// The source masks the verification engine's owner must draw on the real display, for which
// source context, and why they changed.
struct ProtectedSourceOverlayUpdate {
  enum class Origin { reset, frameSafetyDetection, snapshotSync };

  std::uint64_t sourceContextGeneration = 0;
  std::vector<model::ProtectedRedaction> redactions;
  Origin origin = Origin::reset;

  bool operator==(const ProtectedSourceOverlayUpdate&) const = default;
};

}  // namespace corvane::verification
