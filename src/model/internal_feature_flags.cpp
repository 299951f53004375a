#include "model/internal_feature_flags.h"

#include "model/production_configuration.h"

namespace corvane::model {

bool InternalFeatureFlags::startupSourceGuard(const platform::Bundle& bundle) {
  return bundle.boolean(ProductionConfiguration::startupSourceGuardKey).value_or(false);
}

}  // namespace corvane::model
