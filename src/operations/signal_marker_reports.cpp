#include "operations/signal_marker_reports.h"

#include <cctype>
#include <optional>

namespace corvane::operations {
namespace {

// Line feed, vertical tab, form feed, carriage return, U+0085, U+2028 and U+2029.
std::size_t lineBreakLength(const std::string& text, std::size_t i) {
  const auto c = static_cast<unsigned char>(text[i]);
  if (c == '\n' || c == '\v' || c == '\f' || c == '\r') return 1;
  if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x85) return 2;
  if (c == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80) {
    const auto d = static_cast<unsigned char>(text[i + 2]);
    if (d == 0xA8 || d == 0xA9) return 3;
  }
  return 0;
}

std::vector<std::string> nonEmptyLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string current;
  for (std::size_t i = 0; i < text.size();) {
    if (const std::size_t breakLength = lineBreakLength(text, i); breakLength > 0) {
      if (!current.empty()) lines.push_back(std::move(current));
      current.clear();
      i += breakLength;
    } else {
      current += text[i++];
    }
  }
  if (!current.empty()) lines.push_back(std::move(current));
  return lines;
}

// An optional sign and decimal digits, nothing else, within the range of an int.
std::optional<long long> parseDecimal(const std::string& text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return std::nullopt;
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(text[i])) == 0) return std::nullopt;
    value = value * 10 + (text[i] - '0');
    if (value > 2147483648LL) return std::nullopt;
  }
  value = negative ? -value : value;
  if (value > 2147483647LL) return std::nullopt;
  return value;
}

}  // namespace

std::vector<CrashReport> signalReports(const std::string& markerText, runtime::WallTime now,
                                       const ApplicationIdentity& identity) {
  static const std::string kPrefix = "signal=";
  std::vector<CrashReport> reports;
  for (const auto& line : nonEmptyLines(markerText)) {
    if (line.compare(0, kPrefix.size(), kPrefix) != 0) continue;
    auto number = parseDecimal(line.substr(kPrefix.size()));
    if (!number) continue;
    reports.push_back(CrashReport::make(
        "POSIXSignal", "Process terminated by signal " + std::to_string(*number), now, identity));
  }
  return reports;
}

}  // namespace corvane::operations
