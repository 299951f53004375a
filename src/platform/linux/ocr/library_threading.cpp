#include "platform/linux/ocr/library_threading.h"

#include <dlfcn.h>

#include <mutex>

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
  static std::once_flag processWide;
  std::call_once(processWide, [] {
    // No nesting level is active: every parallel region runs on the thread that reaches it.
    if (SetInt setLevels = openMPFunction("omp_set_max_active_levels")) setLevels(0);
  });
  // The team size is a per-thread setting; our workers set theirs before each engine call.
  thread_local bool threadDone = false;
  if (!threadDone) {
    if (SetInt setThreads = openMPFunction("omp_set_num_threads")) setThreads(1);
    threadDone = true;
  }
}

}  // namespace corvane::platform::ocr
