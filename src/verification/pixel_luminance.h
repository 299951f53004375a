#pragma once

#include <cstdint>

namespace corvane::verification {

// The luminance of a pixel (0xAARRGGBB), 0 to 255: its channels weighted 77, 150 and 29 of 256.
inline int luminance(std::uint32_t argb) {
  return static_cast<int>(
      (((argb >> 16) & 0xFF) * 77 + ((argb >> 8) & 0xFF) * 150 + (argb & 0xFF) * 29) >> 8);
}

}  // namespace corvane::verification
