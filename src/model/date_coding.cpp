#include "model/date_coding.h"

#include <chrono>
#include <cstdio>

namespace corvane::model {

std::string formatDateWithMilliseconds(runtime::WallTime time) {
  using namespace std::chrono;
  const auto wholeSeconds = floor<seconds>(time);
  const auto millis = duration_cast<milliseconds>(time - wholeSeconds).count();
  std::string text = runtime::formatISO8601(wholeSeconds);
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(millis));
  if (!text.empty() && text.back() == 'Z') text.insert(text.size() - 1, fraction);
  return text;
}

std::optional<runtime::WallTime> parseDate(const std::string& text) {
  runtime::WallTime time;
  if (!runtime::parseISO8601(text, time)) return std::nullopt;
  return time;
}

}  // namespace corvane::model
