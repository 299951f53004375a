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

namespace {

// Exactly `count` ASCII digits at `text`, as a number; -1 when any is not a digit.
int fixedDigits(const char* text, int count) {
  int value = 0;
  for (int i = 0; i < count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

bool isLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

bool parseISO8601(const std::string& text, WallTime& out) {
  // "YYYY-MM-DDTHH:MM:SS" with every separator where it belongs and only digits between.
  if (text.size() < 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':') {
    return false;
  }
  const char* p = text.c_str();
  const int year = fixedDigits(p, 4), month = fixedDigits(p + 5, 2), day = fixedDigits(p + 8, 2);
  const int hour = fixedDigits(p + 11, 2), minute = fixedDigits(p + 14, 2);
  const int second = fixedDigits(p + 17, 2);
  if (year < 0 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) ||
      hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return false;
  }
  const char* rest = p + 19;
  // The fraction is counted in whole nanoseconds; digits past the ninth cannot be represented.
  long long nanoseconds = 0;
  if (*rest == '.') {
    ++rest;
    int digits = 0;
    for (; *rest >= '0' && *rest <= '9'; ++rest, ++digits) {
      if (digits < 9) nanoseconds = nanoseconds * 10 + (*rest - '0');
    }
    if (digits == 0) return false;
    for (int i = digits; i < 9; ++i) nanoseconds *= 10;
  }
  long offsetSeconds = 0;
  if (*rest == 'Z') {
    ++rest;
  } else if (*rest == '+' || *rest == '-') {
    const int hours = fixedDigits(rest + 1, 2);
    if (hours < 0 || rest[3] != ':') return false;
    const int minutes = fixedDigits(rest + 4, 2);
    if (hours > 23 || minutes < 0 || minutes > 59) return false;
    offsetSeconds = (hours * 3600L + minutes * 60L) * (*rest == '-' ? -1 : 1);
    rest += 6;
  } else {
    return false;
  }
  if (*rest != '\0') return false;
  std::tm parts{};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  const std::time_t seconds = timegm(&parts) - offsetSeconds;
  // Wall times count nanoseconds in 64 bits: about the years 1678 to 2262.
  if (!isRepresentableWallTime(static_cast<double>(seconds))) return false;
  using namespace std::chrono;
  out = WallTime(duration_cast<WallTime::duration>(std::chrono::seconds(seconds)) +
                 duration_cast<WallTime::duration>(std::chrono::nanoseconds(nanoseconds)));
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
