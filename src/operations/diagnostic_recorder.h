#pragma once

#include "model/event_recorder.h"

namespace corvane::operations {

// Where the crash reporter and the update manager log their steps.
using DiagnosticRecorder = model::EventRecorder;

}  // namespace corvane::operations
