#include "capture/protected_content_input_activity.h"

#include <cmath>
#include <limits>

#include "platform/services.h"

namespace corvane::capture {

double ProtectedContentInputActivity::secondsSinceLastEvent() {
  const auto services = platform::platformServices();
  if (!services.inputIdleness) return std::numeric_limits<double>::infinity();
  const double seconds = services.inputIdleness->secondsSinceLastInput();
  if (std::isnan(seconds)) return std::numeric_limits<double>::infinity();
  return seconds < 0 ? 0 : seconds;
}

}  // namespace corvane::capture
