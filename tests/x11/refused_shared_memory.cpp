// Stands in front of the C library's shmat for the whole test program: it passes every call on
// unless a RefusedSharedMemory lives.
#include "x11/refused_shared_memory.h"

#include <dlfcn.h>
#include <sys/shm.h>

#include <cerrno>

namespace corvane::platform::x11::testing {
namespace {

std::atomic<bool> refusing{false};
std::atomic<int> refused{0};

}  // namespace

RefusedSharedMemory::RefusedSharedMemory() {
  refused.store(0);
  refusing.store(true);
}

RefusedSharedMemory::~RefusedSharedMemory() {
  refusing.store(false);
}

int RefusedSharedMemory::refusals() {
  return refused.load();
}

}  // namespace corvane::platform::x11::testing

extern "C" void* shmat(int id, const void* address, int flags) {
  using namespace corvane::platform::x11::testing;
  if (refusing.load()) {
    refused.fetch_add(1);
    errno = ENOMEM;
    return reinterpret_cast<void*>(-1);
  }
  using Attach = void* (*)(int, const void*, int);
  static const auto next = reinterpret_cast<Attach>(dlsym(RTLD_NEXT, "shmat"));
  return next(id, address, flags);
}
