// Decodes arbitrary bytes as an event-log line. A line that decodes must encode to a line that
// decodes again, with the same time to the millisecond (the precision lines are written with).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "model/diagnostic_event.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvane::model;
  const auto event =
      decodeDiagnosticLine(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!event) return 0;
  std::string line = encodeDiagnosticLine(*event);
  if (line.empty() || line.back() != '\n') __builtin_trap();
  line.pop_back();
  const auto again = decodeDiagnosticLine(line);
  using std::chrono::floor;
  using std::chrono::milliseconds;
  if (!again || floor<milliseconds>(again->time) != floor<milliseconds>(event->time)) {
    __builtin_trap();
  }
  return 0;
}
