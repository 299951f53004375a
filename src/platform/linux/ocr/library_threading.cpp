#include "platform/linux/ocr/library_threading.h"

#include <dlfcn.h>

namespace corvane::platform::ocr {
namespace {

using SetInt = void (*)(int);

// The OpenMP run time is the one the recognition library loaded (if any): looked up, not linked,
// so a library built without OpenMP needs nothing.
SetInt openMPFunction(const char* name) {
  return reinterpret_cast<SetInt>(dlsym(RTLD_DEFAULT, name));
}

}  // namespace

void runLibraryParallelRegionsOnOneThread() {
  static const SetInt setMaxActiveLevels = openMPFunction("omp_set_max_active_levels");
  static const SetInt setNumThreads = openMPFunction("omp_set_num_threads");
  // Both settings belong to the calling thread (a new thread starts from the process defaults),
  // so every thread that drives an engine makes them once. With no active level allowed, every
  // parallel region runs on the thread that reaches it, whatever team size the library names.
  thread_local bool applied = false;
  if (applied) return;
  if (setMaxActiveLevels != nullptr) setMaxActiveLevels(0);
  if (setNumThreads != nullptr) setNumThreads(1);
  applied = true;
}

}  // namespace corvane::platform::ocr
