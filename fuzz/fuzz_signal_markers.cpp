// Reads arbitrary bytes as a fatal-signal marker file. Each report names a signal in the range of
// an int, and a marker written by the handler for it reads back as that one report.

#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>

#include "operations/crash_signal_marker.h"
#include "operations/signal_marker_reports.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvane::operations;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const ApplicationIdentity identity{"1.0", "100", "Linux"};
  const auto now = corvane::runtime::WallTime{};
  static const std::string kPrefix = "Process terminated by signal ";
  for (const auto& report : signalReports(text, now, identity)) {
    if (report.reason.compare(0, kPrefix.size(), kPrefix) != 0) __builtin_trap();
    const long long number = std::stoll(report.reason.substr(kPrefix.size()));
    if (number < INT_MIN || number > INT_MAX) __builtin_trap();
    char marker[32];
    const int length = formatSignalMarker(static_cast<int>(number), marker);
    const auto reread =
        signalReports(std::string(marker, static_cast<std::size_t>(length)), now, identity);
    if (reread.size() != 1 || reread[0].reason != report.reason) __builtin_trap();
  }
  return 0;
}
