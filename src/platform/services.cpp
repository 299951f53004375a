#include "platform/services.h"

#include <mutex>

namespace corvane::platform {
namespace {

std::mutex& servicesMutex() {
  static std::mutex mutex;
  return mutex;
}

PlatformServices& installed() {
  static PlatformServices services;
  return services;
}

}  // namespace

PlatformServices installPlatformServices(PlatformServices services) {
  std::lock_guard lock(servicesMutex());
  PlatformServices previous = std::move(installed());
  installed() = std::move(services);
  return previous;
}

PlatformServices platformServices() {
  std::lock_guard lock(servicesMutex());
  return installed();
}

}  // namespace corvane::platform
