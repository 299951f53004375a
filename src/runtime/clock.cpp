#include "runtime/clock.h"

#include <cstdio>
#include <ctime>

namespace corvane::runtime {

Uptime SystemClock::uptime() const {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

WallTime SystemClock::now() const {
  return std::chrono::system_clock::now();
}

std::string formatISO8601(WallTime time) {
  const std::time_t seconds =
      std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(time));
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return buffer;
}

bool parseISO8601(const std::string& text, WallTime& out) {
  std::tm parts{};
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &parts.tm_year, &parts.tm_mon,
                  &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &consumed) != 6) {
    return false;
  }
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  const char* rest = text.c_str() + consumed;
  double fraction = 0;
  if (*rest == '.') {
    double scale = 0.1;
    for (++rest; *rest >= '0' && *rest <= '9'; ++rest, scale /= 10)
      fraction += (*rest - '0') * scale;
  }
  long offsetSeconds = 0;
  if (*rest == 'Z') {
    ++rest;
  } else if (*rest == '+' || *rest == '-') {
    int hours = 0, minutes = 0;
    if (std::sscanf(rest + 1, "%2d:%2d", &hours, &minutes) != 2) return false;
    offsetSeconds = (hours * 3600L + minutes * 60L) * (*rest == '-' ? -1 : 1);
    rest += 6;
  } else {
    return false;
  }
  if (*rest != '\0') return false;
  const std::time_t seconds = timegm(&parts);
  if (seconds == static_cast<std::time_t>(-1)) return false;
  out = wallTimeFromSeconds(static_cast<double>(seconds - offsetSeconds) + fraction);
  return true;
}

double secondsBetween(WallTime a, WallTime b) {
  return std::chrono::duration<double>(b - a).count();
}

WallTime wallTimeFromSeconds(double secondsSinceEpoch) {
  return WallTime(std::chrono::duration_cast<WallTime::duration>(
      std::chrono::duration<double>(secondsSinceEpoch)));
}

double secondsSinceEpoch(WallTime time) {
  return std::chrono::duration<double>(time.time_since_epoch()).count();
}

}  // namespace corvane::runtime
