#include "model/event_recorder.h"

#include "model/diagnostic_reporter.h"

namespace corvane::model {

EventRecorder sharedEventRecorder() {
  return [](const std::string& event, std::map<std::string, std::string> fields) {
    DiagnosticReporter::shared().record(event, std::move(fields));
  };
}

}  // namespace corvane::model
