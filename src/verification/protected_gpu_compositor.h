#pragma once

#include <optional>
#include <vector>

#include "model/protected_redaction.h"
#include "platform/geometry.h"
#include "platform/pixel_buffer.h"

namespace corvane::verification {

// Draws every image the verification engine publishes, with Cairo over a copy of the frame's
// BGRA bytes (the source is never written). Stateless; any thread.
namespace ProtectedGPUCompositor {

// Mask colours (red, green, blue; opaque).
struct MaskColor {
  double red;
  double green;
  double blue;
};
inline constexpr MaskColor kMaskFill{0.125, 0.137, 0.133};
inline constexpr MaskColor kMaskBorder{0.275, 0.302, 0.294};
inline constexpr MaskColor kUncoveredBand{0.067, 0.09, 0.098};
inline constexpr MaskColor kMaskAccent{0.078, 0.745, 0.416};  // the lock

// The frame with an opaque, labelled mask over each redaction (source-overlay redactions only
// when asked). Without anything to draw it is the source itself, not a copy; null when the covers
// could not be drawn (never the frame without them).
platform::SharedPixelBuffer redactedImage(const platform::SharedPixelBuffer& source,
                                          const std::vector<model::ProtectedRedaction>& redactions,
                                          bool includeSourceOverlays);

// What the output may show while a changed frame awaits analysis: the candidate with the
// verified covers, where areas still unverified and the changed rects keep the verified output.
// With a vertical motion the verified output is moved by it inside the changed rects and the
// newly exposed band stays dark. Frames of different sizes give the verified output.
platform::SharedPixelBuffer guardedImage(
    const platform::SharedPixelBuffer& candidate, const platform::SharedPixelBuffer& verifiedOutput,
    const std::vector<model::ProtectedRedaction>& verifiedRedactions,
    const std::vector<platform::Rect>& changedRects, std::optional<int> verticalMotionPixels);

// Pixels per point of the masks' labels: width / 1512, clamped to [1, 2].
double maskScale(int imageWidth);

}  // namespace ProtectedGPUCompositor

}  // namespace corvane::verification
