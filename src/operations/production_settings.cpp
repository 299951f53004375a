// The build settings as the crash reporter and the update manager take them, and the shared
// update manager built from the running bundle.

#include "model/diagnostic_reporter.h"
#include "model/production_configuration.h"
#include "operations/crash_reporter_runtime.h"
#include "operations/update_manager.h"
#include "platform/services.h"
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

namespace {

std::shared_ptr<UpdateManager> makeSharedUpdateManager() {
  const platform::PlatformServices services = platform::platformServices();
  const platform::Bundle bundle = services.mainBundle ? *services.mainBundle : platform::Bundle{};
  const platform::WellKnownFolders folders = services.folders.dataHome.empty()
                                                 ? platform::WellKnownFolders::fromEnvironment()
                                                 : services.folders;
  UpdateManagerDependencies dependencies;
  dependencies.channel = UpdateChannel::from(model::ProductionConfiguration::current(bundle));
  dependencies.dataDirectory = folders.corvaneData();
  dependencies.runningBuild = bundle.string("CFBundleVersion").value_or("0");
  dependencies.http = platform::makeHttpClient();
  dependencies.verifier = platform::makeSignatureVerifier();
  dependencies.extractor = platform::makeArchiveExtractor();
  dependencies.workQueue = runtime::makeSerialQueue("com.pemberquist.corvane.updates");
  dependencies.launchDetached = platform::launchDetachedProcess;
  dependencies.record = model::sharedEventRecorder();
  return std::make_shared<UpdateManager>(std::move(dependencies));
}

}  // namespace

std::shared_ptr<UpdateManager> UpdateManager::shared() {
  // Never destroyed, like the crash reporter: a download in flight must not hold up the exit.
  static const auto* manager = new std::shared_ptr<UpdateManager>(makeSharedUpdateManager());
  return *manager;
}

}  // namespace corvane::operations
