#pragma once

#include <optional>
#include <string>

#include "platform/permissions.h"

namespace corvane::capture {

// Why a capture may not start (the desktop's own reason, or a general one when it gives none);
// nothing when capture is allowed or, once asked for, granted.
std::optional<std::string> screenCaptureRefusal(platform::Permissions* permissions);

// A failure sentence followed by what to do: "… Stop Protected Share and try again."
std::string withStopAndRetryAdvice(const std::string& sentence);

}  // namespace corvane::capture
