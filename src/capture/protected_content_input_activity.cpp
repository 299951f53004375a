#include "capture/protected_content_input_activity.h"

#include <cmath>
#include <limits>

namespace corvane::capture {

double ProtectedContentInputActivity::secondsSinceLastEvent(const platform::InputIdleness* source) {
  if (!source) return std::numeric_limits<double>::infinity();
  const double seconds = source->secondsSinceLastInput();
  if (std::isnan(seconds)) return std::numeric_limits<double>::infinity();
  return seconds < 0 ? 0 : seconds;
}

}  // namespace corvane::capture
