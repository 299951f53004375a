// The build settings as the crash reporter and the update manager take them.

#include "model/production_configuration.h"
#include "operations/crash_reporter_runtime.h"
#include "operations/update_manager.h"
#include "runtime/runtime.h"

namespace corvane::operations {

UpdateChannel UpdateChannel::from(const model::ProductionConfiguration& configuration) {
  return UpdateChannel{configuration.automaticUpdatesEnabled, configuration.updateFeedURL,
                       configuration.sparklePublicEDKey};
}

void CrashReporterRuntime::start(const model::ProductionConfiguration& configuration) {
  // Crash capture and upload need both the switch on and a usable DSN: a build told to keep crash
  // reporting off installs no handler and sends nothing, whatever DSN it carries.
  if (!configuration.crashReportingEnabled) return;
  start(configuration.crashReportingDSN);
}

}  // namespace corvane::operations
