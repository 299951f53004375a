#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "model/protected_redaction.h"
#include "platform/geometry.h"
#include "verification/source_overlay_snapshot.h"

namespace corvane::verification {

// The size of a label's text in the overlay's font (semibold system font at `fontSize` points).
using SourceMaskLabelMeasurer =
    std::function<platform::Size(const std::string& text, double fontSize)>;

enum class SourceMaskSizeClass { large, medium, small };

// What a mask shows inside its fill: the lock in `symbolRect` and, when it fits, a label.
struct SourceMaskContentLayout {
  SourceMaskSizeClass sizeClass = SourceMaskSizeClass::small;
  platform::Rect symbolRect;
  double fontSize = 11;
  std::optional<std::string> text;
  platform::Rect textRect;

  bool operator==(const SourceMaskContentLayout&) const = default;
};

// One mask as drawn, in view points (origin at the view's top left).
struct SourceMaskDrawing {
  std::size_t redactionIndex = 0;
  platform::Rect rect;
  double cornerRadius = 0;
  double borderWidth = 0;
  std::optional<SourceMaskContentLayout> content;

  bool operator==(const SourceMaskDrawing&) const = default;
};

// Everything the overlay view draws, worked out without any drawing toolkit.
struct SourceMaskLayout {
  platform::Size bounds;
  std::vector<SourceMaskDrawing> masks;

  bool operator==(const SourceMaskLayout&) const = default;
};

// Where the overlay stands and what it covers: the captured display's and the overlay panel's
// frames in desktop points, the display's backing scale and the masks in normalised top-left
// display coordinates.
struct SourceMaskScene {
  platform::Rect displayFrame;
  platform::Rect panelFrame;
  double backingScale = 1;
  std::vector<model::ProtectedRedaction> redactions;
};

namespace SourceMaskLayoutModel {

inline constexpr const char* largeLabel = "Sensitive content hidden";
inline constexpr const char* mediumLabel = "Hidden";

// A normalised top-left rect on the display in the view's coordinates; zero for an empty display.
// Not clamped: masks are clipped by the view's bounds when laid out.
platform::Rect sourceRect(const platform::Rect& normalized, const SourceMaskScene& scene);

// Every mask of the scene with a non-empty drawn area, in order, with its content. Masks that
// share a small area with an earlier labelled mask show the lock alone.
SourceMaskLayout layout(const SourceMaskScene& scene, const SourceMaskLabelMeasurer& measure);

// Like layout(), but no two masks overlap: a mask drawn over another would hide the other's lock,
// which the capture check looks for, so two redactions whose masks would overlap become one
// redaction over both (in `scene`, which is updated to match) and are drawn as one mask.
SourceMaskLayout layoutWithoutOverlaps(SourceMaskScene& scene,
                                       const SourceMaskLabelMeasurer& measure);

// The content of one mask rect (none under 8 × 8 points).
std::optional<SourceMaskContentLayout> maskContent(const platform::Rect& rect, bool showLabel,
                                                   const SourceMaskLabelMeasurer& measure);

// Where each drawn mask lies on the display, normalised, with the centre of its lock's body.
std::vector<SourceMaskPlacement> placements(const SourceMaskLayout& layout,
                                            const SourceMaskScene& scene);

}  // namespace SourceMaskLayoutModel

}  // namespace corvane::verification
