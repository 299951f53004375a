#include "runtime/virtual_run_loop.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "runtime/task.h"

namespace corvane::runtime {

struct VirtualRunLoop::Core {
  struct Entry {
    int queue;  // 0 = the main actor
    Job job;
  };
  struct Timer {
    Uptime due;
    unsigned long long order;
    Job job;
  };

  mutable std::recursive_mutex mutex;
  std::deque<Entry> entries;
  std::vector<Timer> timers;  // kept sorted by (due, order)
  std::set<int> heldQueues;
  unsigned long long nextOrder = 0;
  int nextQueueId = 1;
  Uptime uptime = 1000.0;
  double wallOffset = 1767603600.0 - 1000.0;  // wall = uptime + offset
  int currentQueue = -1;                      // -1 = nothing running
  std::thread::id thread = std::this_thread::get_id();

  void push(int queue, Job job) {
    std::lock_guard lock(mutex);
    entries.push_back(Entry{queue, std::move(job)});
  }

  void addTimer(Uptime due, Job job) {
    std::lock_guard lock(mutex);
    Timer timer{due, nextOrder++, std::move(job)};
    auto at =
        std::upper_bound(timers.begin(), timers.end(), timer, [](const Timer& a, const Timer& b) {
          return a.due != b.due ? a.due < b.due : a.order < b.order;
        });
    timers.insert(at, std::move(timer));
  }

  // Runs one entry (of `onlyQueue`, or of any queue not held when -1). False when none.
  bool runOne(int onlyQueue) {
    Entry entry;
    int previous;
    {
      std::lock_guard lock(mutex);
      auto it = std::find_if(entries.begin(), entries.end(), [&](const Entry& e) {
        return onlyQueue >= 0 ? e.queue == onlyQueue : !heldQueues.contains(e.queue);
      });
      if (it == entries.end()) return false;
      entry = std::move(*it);
      entries.erase(it);
      previous = currentQueue;
      currentQueue = entry.queue;
    }
    entry.job();
    std::lock_guard lock(mutex);
    currentQueue = previous;
    return true;
  }

  // Moves timers due by `limit` into the entry list; false when none was due.
  bool releaseDueTimers(Uptime limit) {
    std::lock_guard lock(mutex);
    bool any = false;
    while (!timers.empty() && timers.front().due <= limit) {
      entries.push_back(Entry{0, std::move(timers.front().job)});
      timers.erase(timers.begin());
      any = true;
    }
    return any;
  }

  void runUntilIdle() {
    constexpr long kRunawayLimit = 50'000'000;
    long ran = 0;
    for (;;) {
      if (runOne(-1)) {
        if (++ran > kRunawayLimit) {
          std::fputs("VirtualRunLoop: jobs keep posting jobs; giving up\n", stderr);
          std::abort();
        }
        continue;
      }
      Uptime current;
      {
        std::lock_guard lock(mutex);
        current = uptime;
      }
      if (!releaseDueTimers(current)) return;
    }
  }
};

VirtualRunLoop::VirtualRunLoop() : core_(std::make_shared<Core>()) {
  installation_.emplace(
      RuntimeServices{this, [this](const std::string& label) -> std::shared_ptr<SerialQueue> {
                        return makeQueue(label);
                      }});
}

VirtualRunLoop::~VirtualRunLoop() {
  // Let every suspended task finish: cancelled sleeps and waits return at once.
  cancelAllLiveTasks();
  for (int round = 0; round < 10'000; ++round) {
    core_->runUntilIdle();
    const auto due = nextTimerDue();
    if (!due) break;
    {
      std::lock_guard lock(core_->mutex);
      core_->uptime = std::max(core_->uptime, *due);
    }
  }
  installation_.reset();
  std::lock_guard lock(core_->mutex);
  core_->entries.clear();
  core_->timers.clear();
}

void VirtualRunLoop::post(Job job) {
  core_->push(0, std::move(job));
}

void VirtualRunLoop::postAfter(double delaySeconds, Job job) {
  std::lock_guard lock(core_->mutex);
  core_->addTimer(core_->uptime + std::max(0.0, delaySeconds), std::move(job));
}

bool VirtualRunLoop::isCurrent() const {
  std::lock_guard lock(core_->mutex);
  // Outside any job the test body itself stands in for the main actor.
  return std::this_thread::get_id() == core_->thread &&
         (core_->currentQueue == 0 || core_->currentQueue == -1);
}

Uptime VirtualRunLoop::uptime() const {
  std::lock_guard lock(core_->mutex);
  return core_->uptime;
}

WallTime VirtualRunLoop::now() const {
  std::lock_guard lock(core_->mutex);
  return wallTimeFromSeconds(core_->uptime + core_->wallOffset);
}

void VirtualRunLoop::setWallTime(WallTime time) {
  std::lock_guard lock(core_->mutex);
  core_->wallOffset = secondsSinceEpoch(time) - core_->uptime;
}

void VirtualRunLoop::advance(double seconds) {
  Uptime target;
  {
    std::lock_guard lock(core_->mutex);
    target = core_->uptime + std::max(0.0, seconds);
  }
  core_->runUntilIdle();
  for (;;) {
    std::optional<Uptime> due = nextTimerDue();
    if (!due || *due > target) break;
    {
      std::lock_guard lock(core_->mutex);
      core_->uptime = std::max(core_->uptime, *due);
    }
    core_->runUntilIdle();
  }
  {
    std::lock_guard lock(core_->mutex);
    core_->uptime = target;
  }
  core_->runUntilIdle();
}

void VirtualRunLoop::runUntilIdle() {
  core_->runUntilIdle();
}

std::shared_ptr<VirtualSerialQueue> VirtualRunLoop::makeQueue(const std::string& label) {
  int id;
  {
    std::lock_guard lock(core_->mutex);
    id = core_->nextQueueId++;
  }
  return std::make_shared<VirtualSerialQueue>(core_, id, label);
}

std::size_t VirtualRunLoop::pendingJobCount() const {
  std::lock_guard lock(core_->mutex);
  return core_->entries.size();
}

std::size_t VirtualRunLoop::pendingTimerCount() const {
  std::lock_guard lock(core_->mutex);
  return core_->timers.size();
}

std::optional<Uptime> VirtualRunLoop::nextTimerDue() const {
  std::lock_guard lock(core_->mutex);
  if (core_->timers.empty()) return std::nullopt;
  return core_->timers.front().due;
}

VirtualSerialQueue::VirtualSerialQueue(std::shared_ptr<VirtualRunLoop::Core> core, int id,
                                       std::string label)
    : core_(std::move(core)), id_(id), label_(std::move(label)) {}

VirtualSerialQueue::~VirtualSerialQueue() {
  // Jobs of a queue that is gone never run.
  std::lock_guard lock(core_->mutex);
  std::erase_if(core_->entries, [this](const auto& e) { return e.queue == id_; });
  core_->heldQueues.erase(id_);
}

void VirtualSerialQueue::post(Job job) {
  core_->push(id_, std::move(job));
}

void VirtualSerialQueue::runSync(Job job) {
  if (isCurrent()) {
    job();
    return;
  }
  while (step()) {
  }
  int previous;
  {
    std::lock_guard lock(core_->mutex);
    previous = core_->currentQueue;
    core_->currentQueue = id_;
  }
  job();
  std::lock_guard lock(core_->mutex);
  core_->currentQueue = previous;
}

bool VirtualSerialQueue::isCurrent() const {
  std::lock_guard lock(core_->mutex);
  return core_->currentQueue == id_;
}

void VirtualSerialQueue::hold() {
  std::lock_guard lock(core_->mutex);
  core_->heldQueues.insert(id_);
}

void VirtualSerialQueue::release() {
  std::lock_guard lock(core_->mutex);
  core_->heldQueues.erase(id_);
}

bool VirtualSerialQueue::step() {
  return core_->runOne(id_);
}

std::size_t VirtualSerialQueue::pendingCount() const {
  std::lock_guard lock(core_->mutex);
  return static_cast<std::size_t>(std::count_if(core_->entries.begin(), core_->entries.end(),
                                                [this](const auto& e) { return e.queue == id_; }));
}

}  // namespace corvane::runtime
