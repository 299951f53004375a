#include "capture/protected_captured_frame.h"

#include <cmath>
#include <utility>

namespace corvane::capture {

ProtectedCapturedFrame ProtectedCapturedFrame::make(platform::SharedPixelBuffer pixels,
                                                    runtime::Uptime timestamp,
                                                    runtime::Uptime fallbackUptime) {
  const bool usable = std::isfinite(timestamp) && timestamp > 0;
  const double seconds = std::max(0.0, usable ? timestamp : fallbackUptime);
  ProtectedCapturedFrame frame;
  frame.pixelBuffer = std::move(pixels);
  frame.timestamp = seconds;
  frame.sequence = static_cast<std::uint64_t>(std::llround(seconds * 1'000'000.0));
  return frame;
}

}  // namespace corvane::capture
