#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/diagnostic_reporter.h"
#include "model/event_recorder.h"
#include "model/preferences_store.h"
#include "model/settings_store_problem.h"
#include "platform/bundle.h"
#include "platform/defaults_store.h"
#include "platform/files.h"
#include "runtime/result.h"

namespace corvane::wiring {

// What the application runs with, opened once at start and handed to each owner that needs a
// piece of it: the running bundle, the folders, the command line and the defaults store.
struct ApplicationEnvironment {
  platform::Bundle bundle;
  platform::WellKnownFolders folders;
  std::vector<std::string> arguments;
  std::shared_ptr<platform::DefaultsStore> defaults;

  // Where the settings live, for the owners of settings.
  model::PreferencesSource preferences() const {
    return model::PreferencesSource{defaults, bundle.bundleIdentifier(), arguments};
  }
};

// Reads the bundle installed at `bundleRoot` (the folder above bin/corvane) and opens the
// defaults store in the configuration folder. Fails with the bundle's error.
runtime::Result<ApplicationEnvironment> openApplicationEnvironment(
    const std::filesystem::path& bundleRoot, const platform::WellKnownFolders& folders,
    std::vector<std::string> arguments);

// Installs the process's event log in <data>/Corvane/Diagnostics, on a queue of the installed
// runtime, and returns it.
std::shared_ptr<model::DiagnosticReporter> installEventLog(
    const platform::WellKnownFolders& folders);

// Connects the settings store's recovery notes: each is recorded in the event log at once (from
// whichever thread the store noted it on), and `tell` hears of it on the main actor, as the
// user is to read it (a save that works again after failing, too). Notes made before the call
// arrive too. Does nothing for another store.
void reportSettingsStoreProblems(platform::DefaultsStore& store, model::EventRecorder record,
                                 std::function<void(model::SettingsStoreProblem)> tell);

}  // namespace corvane::wiring
