#include "operations/crash_reporter.h"

#include "runtime/runtime.h"

namespace corvane::operations {

std::shared_ptr<CrashReporterRuntime> makeCrashReporter(const platform::Bundle& bundle,
                                                        const platform::WellKnownFolders& folders,
                                                        model::EventRecorder record) {
  ApplicationIdentity identity;
  identity.appVersion = bundle.string("CFBundleShortVersionString").value_or("unknown");
  identity.buildNumber = bundle.string("CFBundleVersion").value_or("unknown");
  identity.operatingSystem = operatingSystemDescription();
  CrashReporterDependencies dependencies;
  dependencies.reportsDirectory = folders.corvaneData() / "CrashReports";
  dependencies.identity = identity;
  dependencies.http = platform::makeHttpClient();
  dependencies.queue = runtime::makeSerialQueue("com.pemberquist.corvane.crash-reporter");
  dependencies.uploadQueue =
      runtime::makeSerialQueue("com.pemberquist.corvane.crash-reporter.upload");
  dependencies.record = std::move(record);
  return std::make_shared<CrashReporterRuntime>(std::move(dependencies));
}

}  // namespace corvane::operations
