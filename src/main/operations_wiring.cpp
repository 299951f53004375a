#include "main/operations_wiring.h"

#include "model/production_configuration.h"
#include "operations/interrupted_install.h"
#include "platform/archive_extractor.h"
#include "platform/http_client.h"
#include "platform/process.h"
#include "platform/signature_verifier.h"
#include "runtime/runtime.h"

namespace corvane::wiring {

std::shared_ptr<operations::UpdateManager> makeUpdateManager(
    const platform::Bundle& bundle, const platform::WellKnownFolders& folders,
    model::EventRecorder record) {
  operations::UpdateManagerDependencies dependencies;
  dependencies.channel =
      operations::UpdateChannel::from(model::ProductionConfiguration::current(bundle));
  dependencies.dataDirectory = folders.corvaneData();
  dependencies.runningBuild = bundle.string("CFBundleVersion").value_or("0");
  dependencies.http = platform::makeHttpClient();
  dependencies.verifier = platform::makeSignatureVerifier();
  dependencies.extractor = platform::makeArchiveExtractor();
  dependencies.workQueue = runtime::makeSerialQueue("com.pemberquist.corvane.updates");
  dependencies.launchDetached = platform::launchDetachedProcess;
  // Made once at start: an install that an earlier installer run left half-way is put right
  // before anything else reads it.
  if (!bundle.root.empty()) {
    auto reconciled = operations::reconcileInterruptedInstall(bundle.root);
    if (record && (!reconciled || *reconciled > 0)) {
      record("update_install_reconciled",
             reconciled
                 ? std::map<std::string, std::string>{{"leftovers", std::to_string(*reconciled)}}
                 : std::map<std::string, std::string>{{"reason", reconciled.message()}});
    }
  }
  dependencies.record = std::move(record);
  return std::make_shared<operations::UpdateManager>(std::move(dependencies));
}

std::shared_ptr<operations::CrashReporterRuntime> makeCrashReporter(
    const platform::Bundle& bundle, const platform::WellKnownFolders& folders,
    model::EventRecorder record) {
  operations::ApplicationIdentity identity;
  identity.appVersion = bundle.string("CFBundleShortVersionString").value_or("unknown");
  identity.buildNumber = bundle.string("CFBundleVersion").value_or("unknown");
  identity.operatingSystem = operations::operatingSystemDescription();
  operations::CrashReporterDependencies dependencies;
  dependencies.reportsDirectory = folders.corvaneData() / "CrashReports";
  dependencies.identity = identity;
  dependencies.http = platform::makeHttpClient();
  dependencies.queue = runtime::makeSerialQueue("com.pemberquist.corvane.crash-reporter");
  dependencies.uploadQueue =
      runtime::makeSerialQueue("com.pemberquist.corvane.crash-reporter.upload");
  dependencies.record = std::move(record);
  return std::make_shared<operations::CrashReporterRuntime>(std::move(dependencies));
}

}  // namespace corvane::wiring
