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
      runtime::makeSerialQueue(model::DiagnosticReporter::queueLabel), folders.privateTemporary());
  model::DiagnosticReporter::installShared(log);
  return log;
}

void reportSettingsStoreProblems(platform::DefaultsStore& store, model::EventRecorder record,
                                 std::function<void(model::SettingsStoreProblem)> tell) {
  auto* files = dynamic_cast<platform::JsonFileDefaultsStore*>(&store);
  if (files == nullptr) return;
  files->setRecoveryObserver([record = std::move(record),
                              tell = std::move(tell)](const platform::DefaultsRecoveryNote& note) {
    if (record) record(note.eventName(), note.eventFields());
    using Kind = platform::DefaultsRecoveryNote::Kind;
    using Told = model::SettingsStoreProblem::Kind;
    const auto told = note.kind == Kind::saveFailed   ? Told::notSaved
                      : note.kind == Kind::savedAgain ? Told::savedAgain
                                                      : Told::reset;
    model::SettingsStoreProblem problem{told, note.reason, note.keptAs};
    runtime::runOnMain([tell, problem = std::move(problem)] {
      if (tell) tell(problem);
    });
  });
}

}  // namespace corvane::wiring
