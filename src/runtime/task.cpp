#include "runtime/task.h"

namespace corvane::runtime {
namespace {

std::mutex& liveTasksMutex() {
  static std::mutex mutex;
  return mutex;
}

std::vector<std::weak_ptr<TaskContext>>& liveTasks() {
  static std::vector<std::weak_ptr<TaskContext>> tasks;
  return tasks;
}

}  // namespace

bool TaskContext::isCancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

void TaskContext::cancel() {
  std::vector<std::pair<std::uint64_t, std::function<void()>>> toRun;
  {
    std::lock_guard lock(mutex_);
    if (cancelled_) return;
    cancelled_ = true;
    toRun.swap(handlers_);
  }
  for (auto& [id, handler] : toRun) handler();
}

std::uint64_t TaskContext::addCancelHandler(std::function<void()> handler) {
  std::lock_guard lock(mutex_);
  if (cancelled_) return 0;
  const std::uint64_t id = nextId_++;
  handlers_.emplace_back(id, std::move(handler));
  return id;
}

void TaskContext::removeCancelHandler(std::uint64_t id) {
  std::lock_guard lock(mutex_);
  std::erase_if(handlers_, [id](const auto& entry) { return entry.first == id; });
}

void cancelAllLiveTasks() {
  std::vector<std::shared_ptr<TaskContext>> alive;
  {
    std::lock_guard lock(liveTasksMutex());
    for (auto& weak : liveTasks()) {
      if (auto context = weak.lock()) alive.push_back(std::move(context));
    }
    liveTasks().clear();
  }
  for (auto& context : alive) context->cancel();
}

namespace detail {

void registerLiveTask(const std::shared_ptr<TaskContext>& context) {
  std::lock_guard lock(liveTasksMutex());
  auto& tasks = liveTasks();
  if (tasks.size() > 256) std::erase_if(tasks, [](const auto& weak) { return weak.expired(); });
  tasks.push_back(context);
}

}  // namespace detail

Task<bool> withTimeout(Task<void> operation, double timeoutSeconds) {
  TaskHandle<void> child = spawn(std::move(operation));
  auto waiter = awaitCompletion<bool>(
      [child](std::function<void(bool)> complete) {
        child.whenDone([complete] { complete(true); });
      },
      timeoutSeconds);
  auto outcome = co_await waiter;
  if (!outcome) {
    child.cancel();
    co_return false;
  }
  co_return true;
}

}  // namespace corvane::runtime
