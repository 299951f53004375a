#include "capture/capture_start_checks.h"

namespace corvane::capture {

std::optional<std::string> screenCaptureRefusal(platform::Permissions* permissions) {
  if (!permissions || permissions->screenCapturePreflight() || permissions->requestScreenCapture())
    return std::nullopt;
  return permissions->screenCaptureDenialReason().value_or(
      "Screen capture is not allowed. Allow screen capture for Corvane, then start Protected "
      "Share again.");
}

std::string withStopAndRetryAdvice(const std::string& sentence) {
  std::string text = sentence.empty() ? std::string("Screen capture failed") : sentence;
  if (text.back() != '.') text += '.';
  return text + " Stop Protected Share and try again.";
}

}  // namespace corvane::capture
