#pragma once

#include <memory>

#include "model/event_recorder.h"
#include "operations/crash_reporter_runtime.h"
#include "platform/bundle.h"
#include "platform/files.h"

namespace corvane::operations {

// The crash reporter of the running bundle: reports under <data>/Corvane/CrashReports, the
// bundle's versions, the system's HTTPS client. The application keeps it for the whole process.
std::shared_ptr<CrashReporterRuntime> makeCrashReporter(const platform::Bundle& bundle,
                                                        const platform::WellKnownFolders& folders,
                                                        model::EventRecorder record);

}  // namespace corvane::operations
