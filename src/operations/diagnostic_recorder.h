#pragma once

#include <functional>
#include <map>
#include <string>

namespace corvane::operations {

// Where the crash reporter and the update manager log their steps: a snake_case event name and
// flat string fields, metadata only. Empty: nothing is logged.
using DiagnosticRecorder =
    std::function<void(const std::string& event, std::map<std::string, std::string> fields)>;

// The shared diagnostics event log.
DiagnosticRecorder sharedDiagnosticRecorder();

}  // namespace corvane::operations
