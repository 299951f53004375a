#include "runtime/runtime.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace corvane::runtime {
namespace {

std::mutex& servicesMutex() {
  static std::mutex mutex;
  return mutex;
}

RuntimeServices& installed() {
  static RuntimeServices services;
  return services;
}

}  // namespace

RuntimeServices installRuntime(RuntimeServices services) {
  std::lock_guard lock(servicesMutex());
  RuntimeServices previous = std::move(installed());
  installed() = std::move(services);
  return previous;
}

bool hasRuntime() {
  std::lock_guard lock(servicesMutex());
  return installed().main != nullptr;
}

MainExecutor& mainExecutor() {
  std::lock_guard lock(servicesMutex());
  if (installed().main == nullptr) {
    std::fputs("corvane: no main executor is installed\n", stderr);
    std::abort();
  }
  return *installed().main;
}

std::shared_ptr<SerialQueue> makeSerialQueue(const std::string& label) {
  SerialQueueFactory factory;
  {
    std::lock_guard lock(servicesMutex());
    factory = installed().makeQueue;
  }
  if (!factory) factory = threadQueueFactory();
  return factory(label);
}

Uptime uptime() {
  return mainExecutor().uptime();
}
WallTime now() {
  return mainExecutor().now();
}

void runOnMain(Job job) {
  MainExecutor& main = mainExecutor();
  if (main.isCurrent()) {
    job();
  } else {
    main.post(std::move(job));
  }
}

SerialQueueFactory threadQueueFactory() {
  return [](const std::string& label) { return std::make_shared<ThreadSerialQueue>(label); };
}

}  // namespace corvane::runtime
