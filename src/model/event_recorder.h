#pragma once

#include <functional>
#include <map>
#include <string>

namespace corvane::model {

// Where an owner logs its steps: a snake_case event name and flat string fields, metadata only.
// Owners receive one from whoever builds them; an empty recorder logs nothing.
using EventRecorder =
    std::function<void(const std::string& event, std::map<std::string, std::string> fields)>;

// The recorder that writes into the process's event log (DiagnosticReporter::shared()).
EventRecorder sharedEventRecorder();

}  // namespace corvane::model
