#include "runtime/main_actor.h"

#include <cstdio>
#include <cstdlib>

namespace corvane::runtime {

bool isOnMainActor() {
  return hasRuntime() && mainExecutor().isCurrent();
}

#if defined(CORVANE_CHECK_MAIN_ACTOR)
void assertMainActor(const char* function, const char* file, int line) {
  // Without a runtime there is no main actor to be on (plain value tests).
  if (!hasRuntime() || mainExecutor().isCurrent()) return;
  std::fprintf(stderr, "corvane: %s (%s:%d) must run on the main actor\n", function, file, line);
  std::abort();
}
#endif

}  // namespace corvane::runtime
