#pragma once

namespace corvane::platform::ocr {

// The recognition library parallelises inside each call with OpenMP, which under load costs
// several times the wall time of one thread. Recognitions run on our own workers instead, so
// its parallel regions are switched off: once for the process (idempotent, thread-safe), and
// for each calling thread's own setting.
void runLibraryParallelRegionsOnOneThread();

}  // namespace corvane::platform::ocr
