#pragma once

#include <atomic>
#include <coroutine>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "runtime/runtime.h"

namespace corvane::runtime {

// Cancellation state shared by one spawned task and every Task it awaits.
class TaskContext {
 public:
  bool isCancelled() const;
  // Idempotent. Runs the registered handlers once, outside the lock.
  void cancel();
  // Registers a handler run on cancellation; returns 0 (and runs nothing) when already cancelled.
  std::uint64_t addCancelHandler(std::function<void()> handler);
  void removeCancelHandler(std::uint64_t id);

 private:
  mutable std::mutex mutex_;
  bool cancelled_ = false;
  std::uint64_t nextId_ = 1;
  std::vector<std::pair<std::uint64_t, std::function<void()>>> handlers_;
};

// Cancels every spawned task that is still alive (used when a run loop shuts down).
void cancelAllLiveTasks();

namespace detail {

void registerLiveTask(const std::shared_ptr<TaskContext>& context);

struct PromiseBase {
  std::shared_ptr<TaskContext> context;
  Executor* executor = nullptr;
};

template <class T>
struct ValueSlot {
  std::optional<T> value;
  template <class U>
  void return_value(U&& v) {
    value.emplace(std::forward<U>(v));
  }
  T take() { return std::move(*value); }
};

template <>
struct ValueSlot<void> {
  void return_void() {}
  void take() {}
};

// Resumes a suspended coroutine on its executor, at most once, from whichever side comes first.
class ResumeOnce {
 public:
  ResumeOnce(std::coroutine_handle<> handle, Executor* executor)
      : handle_(handle), executor_(executor) {}
  bool fire() {
    if (fired_.exchange(true)) return false;
    auto handle = handle_;
    executor_->post([handle] { handle.resume(); });
    return true;
  }

 private:
  std::coroutine_handle<> handle_;
  Executor* executor_;
  std::atomic<bool> fired_{false};
};

inline Executor* executorOf(const PromiseBase& promise) {
  return promise.executor != nullptr ? promise.executor : &mainExecutor();
}

}  // namespace detail

// A coroutine that runs on the executor it was started on. A Task is lazy: it starts when it is
// awaited (and then shares the awaiting task's cancellation) or when it is spawned.
template <class T = void>
class [[nodiscard]] Task {
 public:
  struct promise_type : detail::PromiseBase, detail::ValueSlot<T> {
    std::coroutine_handle<> continuation;
    std::exception_ptr error;

    Task get_return_object() {
      return Task(std::coroutine_handle<promise_type>::from_promise(*this));
    }
    std::suspend_always initial_suspend() noexcept { return {}; }
    struct FinalAwaiter {
      bool await_ready() noexcept { return false; }
      std::coroutine_handle<> await_suspend(std::coroutine_handle<promise_type> h) noexcept {
        auto next = h.promise().continuation;
        return next ? next : std::noop_coroutine();
      }
      void await_resume() noexcept {}
    };
    FinalAwaiter final_suspend() noexcept { return {}; }
    void unhandled_exception() { error = std::current_exception(); }
  };
  using Handle = std::coroutine_handle<promise_type>;

  Task() = default;
  explicit Task(Handle handle) : handle_(handle) {}
  Task(Task&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
  Task& operator=(Task&& other) noexcept {
    if (this != &other) {
      if (handle_) handle_.destroy();
      handle_ = std::exchange(other.handle_, {});
    }
    return *this;
  }
  Task(const Task&) = delete;
  Task& operator=(const Task&) = delete;
  ~Task() {
    if (handle_) handle_.destroy();
  }

  bool valid() const { return static_cast<bool>(handle_); }

  struct Awaiter {
    Handle handle;
    bool await_ready() const noexcept { return !handle || handle.done(); }
    template <class P>
    std::coroutine_handle<> await_suspend(std::coroutine_handle<P> parent) noexcept {
      auto& promise = handle.promise();
      promise.context = parent.promise().context;
      promise.executor = parent.promise().executor;
      promise.continuation = parent;
      return handle;
    }
    T await_resume() {
      if (handle.promise().error) std::rethrow_exception(handle.promise().error);
      return handle.promise().take();
    }
  };
  Awaiter operator co_await() && noexcept { return Awaiter{handle_}; }

  // Used by spawn: hands the coroutine over to a detached runner.
  Handle release() { return std::exchange(handle_, {}); }

 private:
  Handle handle_;
};

namespace detail {

// The fire-and-forget coroutine that drives a spawned Task to completion.
struct Detached {
  struct promise_type : PromiseBase {
    Detached get_return_object() {
      return Detached{std::coroutine_handle<promise_type>::from_promise(*this)};
    }
    std::suspend_always initial_suspend() noexcept { return {}; }
    std::suspend_never final_suspend() noexcept { return {}; }
    void return_void() {}
    void unhandled_exception() { std::terminate(); }
  };
  std::coroutine_handle<promise_type> handle;
};

template <class T>
struct SpawnState {
  std::shared_ptr<TaskContext> context = std::make_shared<TaskContext>();
  std::mutex mutex;
  bool done = false;
  std::conditional_t<std::is_void_v<T>, bool, std::optional<T>> value{};
  std::exception_ptr error;
  std::vector<std::function<void()>> waiters;

  void finish() {
    std::vector<std::function<void()>> toRun;
    {
      std::lock_guard lock(mutex);
      done = true;
      toRun.swap(waiters);
    }
    for (auto& waiter : toRun) waiter();
  }
  // Runs `waiter` once the task is done (at once when it already is).
  void whenDone(std::function<void()> waiter) {
    {
      std::lock_guard lock(mutex);
      if (!done) {
        waiters.push_back(std::move(waiter));
        return;
      }
    }
    waiter();
  }
};

template <class T>
Detached runDetached(Task<T> task, std::shared_ptr<SpawnState<T>> state) {
  try {
    if constexpr (std::is_void_v<T>) {
      co_await std::move(task);
    } else {
      // Await into a named value first: GCC 12 mishandles co_await inside call arguments.
      T result = co_await std::move(task);
      state->value.emplace(std::move(result));
    }
  } catch (...) {
    state->error = std::current_exception();
  }
  state->finish();
}

}  // namespace detail

// A started task: it can be cancelled, observed and awaited.
template <class T = void>
class TaskHandle {
 public:
  TaskHandle() = default;
  explicit TaskHandle(std::shared_ptr<detail::SpawnState<T>> state) : state_(std::move(state)) {}

  void cancel() const {
    if (state_) state_->context->cancel();
  }
  bool isCancelled() const { return state_ && state_->context->isCancelled(); }
  bool isDone() const {
    if (!state_) return true;
    std::lock_guard lock(state_->mutex);
    return state_->done;
  }
  bool valid() const { return static_cast<bool>(state_); }
  // The result of a finished task with a value (rethrows its error).
  template <class U = T>
  requires(!std::is_void_v<U>) const U& result() const {
    if (state_->error) std::rethrow_exception(state_->error);
    return *state_->value;
  }
  // Runs `callback` on the caller's side once the task finishes (at once when it has).
  void whenDone(std::function<void()> callback) const { state_->whenDone(std::move(callback)); }

  // Awaiting a handle waits for the task without sharing its cancellation.
  struct Awaiter {
    std::shared_ptr<detail::SpawnState<T>> state;
    bool await_ready() const {
      std::lock_guard lock(state->mutex);
      return state->done;
    }
    template <class P>
    void await_suspend(std::coroutine_handle<P> h) {
      Executor* executor = detail::executorOf(h.promise());
      state->whenDone([h, executor] { executor->post([h] { h.resume(); }); });
    }
    T await_resume() {
      if (state->error) std::rethrow_exception(state->error);
      if constexpr (!std::is_void_v<T>) return *state->value;
    }
  };
  Awaiter operator co_await() const { return Awaiter{state_}; }

 private:
  std::shared_ptr<detail::SpawnState<T>> state_;
};

// Starts `task` on `executor` (the main actor by default) with a cancellation of its own. It
// begins on the executor's next turn.
template <class T>
TaskHandle<T> spawn(Task<T> task, Executor* executor = nullptr) {
  auto state = std::make_shared<detail::SpawnState<T>>();
  detail::registerLiveTask(state->context);
  auto runner = detail::runDetached<T>(std::move(task), state);
  runner.handle.promise().context = state->context;
  runner.handle.promise().executor = executor != nullptr ? executor : &mainExecutor();
  auto handle = runner.handle;
  runner.handle.promise().executor->post([handle] { handle.resume(); });
  return TaskHandle<T>(state);
}

// `co_await isCancelled()`: whether the current task has been cancelled.
struct IsCancelledAwaiter {
  std::shared_ptr<TaskContext> context;
  bool await_ready() const noexcept { return false; }
  template <class P>
  bool await_suspend(std::coroutine_handle<P> h) noexcept {
    context = h.promise().context;
    return false;
  }
  bool await_resume() const noexcept { return context && context->isCancelled(); }
};
inline IsCancelledAwaiter isCancelled() {
  return {};
}

// `co_await sleep(seconds)`: resumes after that much uptime on the task's executor. A cancelled
// sleep returns early and normally; the caller then checks cancellation and its generations.
class SleepAwaiter {
 public:
  explicit SleepAwaiter(double seconds) : seconds_(seconds) {}
  bool await_ready() const noexcept { return false; }
  template <class P>
  void await_suspend(std::coroutine_handle<P> h) {
    context_ = h.promise().context;
    Executor* executor = detail::executorOf(h.promise());
    auto once = std::make_shared<detail::ResumeOnce>(h, executor);
    if (context_) {
      cancelId_ = context_->addCancelHandler([once] { once->fire(); });
      if (cancelId_ == 0) {
        once->fire();
        return;
      }
    }
    mainExecutor().postAfter(seconds_, [once] { once->fire(); });
  }
  void await_resume() {
    if (context_ && cancelId_ != 0) context_->removeCancelHandler(cancelId_);
  }

 private:
  double seconds_;
  std::shared_ptr<TaskContext> context_;
  std::uint64_t cancelId_ = 0;
};
inline SleepAwaiter sleep(double seconds) {
  return SleepAwaiter(seconds);
}

// Completes with the first of: the value passed to `complete` (callable once or more, from any
// thread; later calls do nothing), the time-out (when `timeoutSeconds` is set) or the task's
// cancellation. Yields std::nullopt for a time-out or a cancellation.
template <class T>
class CompletionAwaiter {
 public:
  using Complete = std::function<void(T)>;
  using Start = std::function<void(Complete)>;

  CompletionAwaiter(Start start, std::optional<double> timeoutSeconds)
      : start_(std::move(start)), timeout_(timeoutSeconds), slot_(std::make_shared<Slot>()) {}

  bool await_ready() const noexcept { return false; }
  template <class P>
  void await_suspend(std::coroutine_handle<P> h) {
    context_ = h.promise().context;
    slot_->resume = std::make_shared<detail::ResumeOnce>(h, detail::executorOf(h.promise()));
    std::weak_ptr<Slot> weakSlot = slot_;
    auto finish = [weakSlot](std::optional<T> outcome) {
      if (auto slot = weakSlot.lock()) slot->offer(std::move(outcome));
    };
    if (context_) {
      cancelId_ = context_->addCancelHandler([finish] { finish(std::nullopt); });
      if (cancelId_ == 0) {
        finish(std::nullopt);
        return;
      }
    }
    if (timeout_) mainExecutor().postAfter(*timeout_, [finish] { finish(std::nullopt); });
    start_([finish](T value) { finish(std::optional<T>(std::move(value))); });
  }
  std::optional<T> await_resume() {
    if (context_ && cancelId_ != 0) context_->removeCancelHandler(cancelId_);
    std::lock_guard lock(slot_->mutex);
    return std::move(slot_->outcome);
  }

 private:
  struct Slot {
    std::mutex mutex;
    bool settled = false;
    std::optional<T> outcome;
    std::shared_ptr<detail::ResumeOnce> resume;
    void offer(std::optional<T> value) {
      {
        std::lock_guard lock(mutex);
        if (settled) return;
        settled = true;
        outcome = std::move(value);
      }
      resume->fire();
    }
  };

  Start start_;
  std::optional<double> timeout_;
  std::shared_ptr<Slot> slot_;
  std::shared_ptr<TaskContext> context_;
  std::uint64_t cancelId_ = 0;
};

template <class T>
CompletionAwaiter<T> awaitCompletion(typename CompletionAwaiter<T>::Start start,
                                     std::optional<double> timeoutSeconds = std::nullopt) {
  return CompletionAwaiter<T>(std::move(start), timeoutSeconds);
}

// Races `operation` against a time-out; completes exactly once. Yields the operation's value,
// or std::nullopt when the time-out (or the caller's cancellation) came first, in which case the
// operation is cancelled and whatever it produces later is dropped.
template <class T>
requires(!std::is_void_v<T>) Task<std::optional<T>> withTimeout(Task<T> operation,
                                                                double timeoutSeconds) {
  TaskHandle<T> child = spawn(std::move(operation));
  auto waiter = awaitCompletion<bool>(
      [child](std::function<void(bool)> complete) {
        child.whenDone([complete] { complete(true); });
      },
      timeoutSeconds);
  auto outcome = co_await waiter;
  if (!outcome) {
    child.cancel();
    co_return std::nullopt;
  }
  co_return child.result();
}

// The same for an operation without a value: true when it finished in time.
Task<bool> withTimeout(Task<void> operation, double timeoutSeconds);

}  // namespace corvane::runtime
