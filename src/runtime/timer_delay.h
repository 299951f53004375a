#pragma once

#include <cmath>
#include <limits>

namespace corvane::runtime {

// A timer's delay in whole milliseconds, rounded up: zero for a negative or not-a-number delay,
// and no more than an int holds (about 24 days) for a huge or infinite one, so converting never
// overflows.
inline int timerMilliseconds(double delaySeconds) {
  if (!(delaySeconds > 0)) return 0;
  constexpr double kMost = static_cast<double>(std::numeric_limits<int>::max());
  const double milliseconds = std::ceil(delaySeconds * 1000.0);
  return milliseconds >= kMost ? std::numeric_limits<int>::max() : static_cast<int>(milliseconds);
}

}  // namespace corvane::runtime
