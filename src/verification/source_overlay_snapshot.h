#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "model/protected_redaction.h"
#include "platform/geometry.h"

namespace corvane::verification {

// Where one source mask was drawn, normalised to the captured display with the origin at the top
// left: its whole drawn rectangle (grown around the text and clipped to the display) and, when
// the mask shows a lock, a point on the lock's body, which is always the accent colour.
struct SourceMaskPlacement {
  platform::Rect normalizedFrame;
  std::optional<platform::Point> normalizedAccentPoint;

  bool operator==(const SourceMaskPlacement&) const = default;
};

// The source masks that captured frames must show. `revision` changes whenever the set changes.
// `placements` says where each redaction's mask was drawn, in the same order; without them (or
// when their count differs) a mask is looked for around its redaction's frame.
struct SourceOverlaySnapshot {
  std::uint64_t revision = 0;
  std::vector<model::ProtectedRedaction> redactions;
  std::vector<SourceMaskPlacement> placements;

  bool operator==(const SourceOverlaySnapshot&) const = default;
};

}  // namespace corvane::verification
