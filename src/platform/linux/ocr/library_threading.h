#pragma once

namespace corvane::platform::ocr {

// The recognition library parallelises inside each call with OpenMP, which under load costs
// several times the wall time of one thread. Recognitions run on our own workers instead, so
// its parallel regions are switched off for the calling thread; call before every engine use
// (cheap after the first call on a thread).
void runLibraryParallelRegionsOnOneThread();

}  // namespace corvane::platform::ocr
