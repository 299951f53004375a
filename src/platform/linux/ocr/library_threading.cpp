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
  // With no active level allowed, every parallel region runs on the thread that reaches it,
  // whatever team size the library names in its pragmas (so omp_set_num_threads(1) is not
  // enough), and OMP_THREAD_LIMIT is read when the run time loads, before main. The setting
  // belongs to the calling thread (a new thread starts from the process defaults), so every
  // thread that drives an engine makes it once.
  thread_local bool applied = false;
  if (applied) return;
  if (setMaxActiveLevels != nullptr) setMaxActiveLevels(0);
  applied = true;
}

}  // namespace corvane::platform::ocr
