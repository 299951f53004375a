// The build settings as the crash reporter and the update manager take them, and the update
// manager built from the running bundle.

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
  // A usable DSN alone switches crash capture and upload on.
  start(configuration.crashReportingDSN);
}

std::shared_ptr<UpdateManager> UpdateManager::make(const platform::Bundle& bundle,
                                                   const platform::WellKnownFolders& folders,
                                                   model::EventRecorder record) {
  UpdateManagerDependencies dependencies;
  dependencies.channel = UpdateChannel::from(model::ProductionConfiguration::current(bundle));
  dependencies.dataDirectory = folders.corvaneData();
  dependencies.runningBuild = bundle.string("CFBundleVersion").value_or("0");
  dependencies.http = platform::makeHttpClient();
  dependencies.verifier = platform::makeSignatureVerifier();
  dependencies.extractor = platform::makeArchiveExtractor();
  dependencies.workQueue = runtime::makeSerialQueue("com.pemberquist.corvane.updates");
  dependencies.launchDetached = platform::launchDetachedProcess;
  dependencies.record = std::move(record);
  return std::make_shared<UpdateManager>(std::move(dependencies));
}

}  // namespace corvane::operations
