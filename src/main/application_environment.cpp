#include "main/application_environment.h"

#include "platform/linux/json_file_defaults_store.h"
#include "platform/property_list.h"
#include "runtime/runtime.h"

namespace corvane::wiring {

runtime::Result<ApplicationEnvironment> openApplicationEnvironment(
    const std::filesystem::path& bundleRoot, const platform::WellKnownFolders& folders,
    std::vector<std::string> arguments) {
  auto bundle = platform::loadBundle(bundleRoot);
  if (!bundle) return bundle.error();
  ApplicationEnvironment environment;
  environment.bundle = std::move(bundle).value();
  environment.folders = folders;
  environment.arguments = std::move(arguments);
  environment.defaults = std::make_shared<platform::JsonFileDefaultsStore>(
      platform::JsonFileDefaultsStore::defaultFolder(folders));
  return environment;
}

std::shared_ptr<model::DiagnosticReporter> installEventLog(
    const platform::WellKnownFolders& folders) {
  auto log = std::make_shared<model::DiagnosticReporter>(
      folders.corvaneData() / "Diagnostics",
      runtime::makeSerialQueue(model::DiagnosticReporter::queueLabel), folders.temporary);
  model::DiagnosticReporter::installShared(log);
  return log;
}

}  // namespace corvane::wiring
