#pragma once

#include <string>
#include <vector>

#include "operations/crash_report.h"

namespace corvane::operations {

// One report per "signal=<decimal>" line of the marker file, in line order, stamped `now`. Other
// lines are skipped.
std::vector<CrashReport> signalReports(const std::string& markerText, runtime::WallTime now,
                                       const ApplicationIdentity& identity);

}  // namespace corvane::operations
