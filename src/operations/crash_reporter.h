#pragma once

#include <memory>

#include "operations/crash_reporter_runtime.h"

namespace corvane::operations {

// The process's one crash reporter, built on first use from the installed platform services:
// reports under <data>/Corvane/CrashReports, the running bundle's versions, the HTTPS client.
class CrashReporter {
 public:
  static std::shared_ptr<CrashReporterRuntime> reporter();
};

}  // namespace corvane::operations
