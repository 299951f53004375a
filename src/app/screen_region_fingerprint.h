#pragma once

#include <cstdint>

namespace corvane::app {

// A compact fingerprint of a screen region: a 128-bit edge mask and a 128-bit tone mask, each
// split into 64-bit halves, and the region's mean luminance.
struct ScreenRegionFingerprint {
  std::uint64_t edgeBitsLow = 0;
  std::uint64_t edgeBitsHigh = 0;
  std::uint64_t toneBitsLow = 0;
  std::uint64_t toneBitsHigh = 0;
  std::uint8_t meanLuminance = 0;

  bool operator==(const ScreenRegionFingerprint&) const = default;
};

}  // namespace corvane::app
