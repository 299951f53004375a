#pragma once

#include <cstdint>

#include "platform/pixel_buffer.h"
#include "runtime/clock.h"

namespace corvane::capture {

// One captured frame on its way from a stream callback to the output surface. The pixels are
// shared, never copied: every record downstream holds the same buffer.
struct ProtectedCapturedFrame {
  platform::SharedPixelBuffer pixelBuffer;
  runtime::Uptime timestamp = 0;  // host clock (uptime seconds) of the capture
  std::uint64_t sequence = 0;     // the timestamp in whole microseconds

  // A frame stamped at `timestamp`; a timestamp that is not a usable time (NaN, infinite or not
  // above zero) is replaced by `fallbackUptime`.
  static ProtectedCapturedFrame make(platform::SharedPixelBuffer pixels, runtime::Uptime timestamp,
                                     runtime::Uptime fallbackUptime);
};

}  // namespace corvane::capture
