// Decodes arbitrary bytes as a stored crash report. What a decoded report encodes to must decode
// and encode to the same text again, and so must the report of its next failed upload.

#include <cstddef>
#include <cstdint>
#include <string>

#include "operations/crash_report.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace corvane::operations;
  const auto report = CrashReport::decode(std::string(reinterpret_cast<const char*>(data), size));
  if (!report) return 0;
  auto stable = [](const CrashReport& original) {
    const std::string text = original.encode();
    const auto again = CrashReport::decode(text);
    if (!again || again->encode() != text) __builtin_trap();
  };
  stable(*report);
  stable(report->recordingUploadFailure(report->timestamp));
  return 0;
}
