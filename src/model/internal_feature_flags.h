#pragma once

#include "platform/bundle.h"

namespace corvane::model {

// Build-time switches for features still being introduced.
struct InternalFeatureFlags {
  // The source guard shown over the real display while a session starts or after it fails:
  // on only when the bundle's Info.plist holds the Boolean true under
  // "CorvaneStartupSourceGuardEnabled".
  static bool startupSourceGuard(const platform::Bundle& bundle);
};

}  // namespace corvane::model
