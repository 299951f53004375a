#pragma once

#include <vector>

#include "platform/geometry.h"
#include "platform/pixel_buffer.h"
#include "verification/source_overlay_snapshot.h"
#include "verification/source_overlay_verification_result.h"

namespace corvane::verification {

// Checks that the source masks a snapshot expects are visible in a captured frame. The frame is
// read where it lies (its BGRA bytes, at full resolution); at most ten pixels are read per mask.
namespace SourceOverlayCaptureVerifier {

// A mask passes when at least this many of its nine body points show a mask colour and, when it
// shows a lock, its lock's body shows the accent.
inline constexpr int minimumMatchingSamples = 5;
inline constexpr int colourTolerance = 8;
inline constexpr int minimumOpaqueAlpha = 250;
inline constexpr int minimumMaskPixels = 3;

// Empty snapshots verify; a missing or empty frame is `bitmapUnavailable`; otherwise the first
// mask that fails decides the result.
SourceOverlayVerificationResult verify(const platform::PixelBuffer* frame,
                                       const SourceOverlaySnapshot& snapshot);

// Nine points row by row (y fractions 0.16, 0.5, 0.84; x fractions 0.2, 0.5, 0.72) of `rect`.
std::vector<platform::Point> maskBodyVerificationPoints(const platform::Rect& rect);

}  // namespace SourceOverlayCaptureVerifier

}  // namespace corvane::verification
