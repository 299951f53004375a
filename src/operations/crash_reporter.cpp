#include "operations/crash_reporter.h"

#include "platform/services.h"
#include "runtime/runtime.h"

namespace corvane::operations {
namespace {

std::shared_ptr<CrashReporterRuntime> makeSharedReporter() {
  const platform::PlatformServices services = platform::platformServices();
  const platform::WellKnownFolders folders = services.folders.dataHome.empty()
                                                 ? platform::WellKnownFolders::fromEnvironment()
                                                 : services.folders;
  ApplicationIdentity identity;
  if (services.mainBundle) {
    identity.appVersion =
        services.mainBundle->string("CFBundleShortVersionString").value_or("unknown");
    identity.buildNumber = services.mainBundle->string("CFBundleVersion").value_or("unknown");
  }
  identity.operatingSystem = operatingSystemDescription();
  CrashReporterDependencies dependencies;
  dependencies.reportsDirectory = folders.corvaneData() / "CrashReports";
  dependencies.identity = identity;
  dependencies.http = platform::makeHttpClient();
  dependencies.queue = runtime::makeSerialQueue("com.pemberquist.corvane.crash-reporter");
  dependencies.uploadQueue =
      runtime::makeSerialQueue("com.pemberquist.corvane.crash-reporter.upload");
  dependencies.record = model::sharedEventRecorder();
  return std::make_shared<CrashReporterRuntime>(std::move(dependencies));
}

}  // namespace

std::shared_ptr<CrashReporterRuntime> CrashReporter::reporter() {
  // Kept for the whole process and never destroyed: an upload still waiting on the network must
  // not hold up the exit by joining its queue.
  static const auto* shared = new std::shared_ptr<CrashReporterRuntime>(makeSharedReporter());
  return *shared;
}

}  // namespace corvane::operations
