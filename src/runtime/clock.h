#pragma once

#include <chrono>
#include <string>

namespace corvane::runtime {

// Wall-clock time: dates in events, files and back-off schedules.
using WallTime = std::chrono::system_clock::time_point;

// Monotonic seconds since an arbitrary origin: cadence, time-outs and intervals.
using Uptime = double;

class Clock {
 public:
  virtual ~Clock() = default;
  virtual Uptime uptime() const = 0;
  virtual WallTime now() const = 0;
};

// The machine's clocks.
class SystemClock final : public Clock {
 public:
  Uptime uptime() const override;
  WallTime now() const override;
};

// "2026-12-07T04:29:39Z": ISO 8601 internet date-time in UTC, whole seconds.
std::string formatISO8601(WallTime time);

// Parses the form formatISO8601 writes; fractional seconds (kept to the nanosecond) and a numeric
// offset are accepted too. Dates and times that do not exist ("2026-13-45T99:99:99Z") are refused.
bool parseISO8601(const std::string& text, WallTime& out);

// Seconds between two wall times (b - a).
double secondsBetween(WallTime a, WallTime b);

// Whether that many seconds since 1970 fit a WallTime (64-bit nanoseconds, about 1678 to 2262).
inline bool isRepresentableWallTime(double secondsSinceEpoch) {
  return secondsSinceEpoch > -9.2e9 && secondsSinceEpoch < 9.2e9;
}

// The seconds must be representable (see above).
WallTime wallTimeFromSeconds(double secondsSinceEpoch);
double secondsSinceEpoch(WallTime time);

}  // namespace corvane::runtime
