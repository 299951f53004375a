#pragma once

#include <cstdint>

#include "platform/geometry.h"
#include "verification/pixel_rect.h"
#include "verification/protected_gpu_compositor.h"

namespace corvane::verification {

// How a source mask looks on the real display: the same fill and accent as the masks drawn into
// published frames, so the capture check knows what to look for.
namespace SourceMaskVisualStyle {

struct Rgba {
  double red = 0;
  double green = 0;
  double blue = 0;
  double alpha = 1;
};

struct Rgb8 {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
};

inline constexpr Rgba maskFillColor{ProtectedGPUCompositor::kMaskFill.red,
                                    ProtectedGPUCompositor::kMaskFill.green,
                                    ProtectedGPUCompositor::kMaskFill.blue, 1.0};
inline constexpr Rgba accentColor{ProtectedGPUCompositor::kMaskAccent.red,
                                  ProtectedGPUCompositor::kMaskAccent.green,
                                  ProtectedGPUCompositor::kMaskAccent.blue, 1.0};
inline constexpr Rgba borderColor{1.0, 1.0, 1.0, 0.18};
inline constexpr Rgba labelColor{0.92, 0.92, 0.92, 0.78};

// The two colours as 8-bit components (each ×255, rounded).
inline constexpr Rgb8 maskFill8{32, 35, 34};
inline constexpr Rgb8 accent8{20, 190, 106};

// The mask grows around the covered text by this many device pixels on each side.
inline constexpr double horizontalGrowthPixels = kMaskGrowX;
inline constexpr double verticalGrowthPixels = kMaskGrowY;
inline constexpr double cornerRadiusPixels = 4;
inline constexpr double borderWidthPixels = 1;

// The lock's solid body inside the lock symbol's square, as fractions of its side: its centre is
// always drawn in the accent colour.
inline constexpr platform::Point lockBodyCentre{0.5, 0.65};

}  // namespace SourceMaskVisualStyle

}  // namespace corvane::verification
