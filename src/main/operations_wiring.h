#pragma once

#include <memory>

#include "model/event_recorder.h"
#include "operations/crash_reporter_runtime.h"
#include "operations/update_manager.h"
#include "platform/bundle.h"
#include "platform/files.h"

namespace corvane::wiring {

// The update manager of the running bundle: its channel and build from the bundle's Info.plist,
// its files under the data folder, the system's HTTP client, verifier, archive reader and
// process launcher. Made at start, it first puts right an install an interrupted installer left
// beside the bundle (recorded as "update_install_reconciled").
std::shared_ptr<operations::UpdateManager> makeUpdateManager(
    const platform::Bundle& bundle, const platform::WellKnownFolders& folders,
    model::EventRecorder record);

// The crash reporter of the running bundle: reports under <data>/Corvane/CrashReports, the
// bundle's versions, the system's HTTPS client. The application keeps it for the whole process:
// an upload still waiting on the network must not hold up the exit.
std::shared_ptr<operations::CrashReporterRuntime> makeCrashReporter(
    const platform::Bundle& bundle, const platform::WellKnownFolders& folders,
    model::EventRecorder record);

}  // namespace corvane::wiring
