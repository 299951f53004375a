#pragma once

namespace corvane::model {

// Build-time switches for features still being introduced.
struct InternalFeatureFlags {
  // The source guard shown over the real display while a session starts or after it fails:
  // on only when the installed main bundle's Info.plist holds the Boolean true under
  // "CorvaneStartupSourceGuardEnabled". Read at every use.
  static bool startupSourceGuard();
};

}  // namespace corvane::model
