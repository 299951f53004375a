#include "model/internal_feature_flags.h"

#include "model/production_configuration.h"
#include "platform/services.h"

namespace corvane::model {

bool InternalFeatureFlags::startupSourceGuard() {
  const auto bundle = platform::platformServices().mainBundle;
  if (!bundle) return false;
  return bundle->boolean(ProductionConfiguration::startupSourceGuardKey).value_or(false);
}

}  // namespace corvane::model
