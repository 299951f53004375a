#include "platform/x11/server_hold.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace corvane::platform::x11 {
namespace {

using Clock = std::chrono::steady_clock;

double secondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// Every hold of the process in one place: which are in place, until when each may last, and
// whether a connection is being opened. Its thread lets go of a hold that outlasts its bound:
// the owner may be stuck, and only the server letting go ends what it is stuck on when that
// waits for the server too.
class Holds {
 public:
  // Never destroyed: a pump thread still ending as the process exits may hold the server too.
  static Holds& instance() {
    static Holds* const holds = new Holds();
    return *holds;
  }

  // A new hold of `display` unless a connection is being opened; 0 then.
  std::uint64_t begin(Display* display) {
    std::lock_guard lock(mutex_);
    if (opening_ > 0) return 0;
    const std::uint64_t entry = nextEntry_++;
    entries_.emplace(entry, Entry{display});
    ++inPlace_;
    return entry;
  }

  // The server holds it from now on, for at most `bound` seconds.
  void started(std::uint64_t entry, double bound) {
    {
      std::lock_guard lock(mutex_);
      auto found = entries_.find(entry);
      if (found == entries_.end()) return;
      found->second.since = Clock::now();
      found->second.deadline =
          found->second.since + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double>(std::max(0.0, bound)));
      ++record_.taken;
      if (!releasing_) {
        releasing_ = true;
        std::thread([this] { run(); }).detach();
      }
    }
    changed_.notify_all();
  }

  bool cut(std::uint64_t entry) const {
    std::lock_guard lock(mutex_);
    auto found = entries_.find(entry);
    return found != entries_.end() && found->second.cut;
  }

  // The owner is done: lets the server go unless that happened already, and forgets the hold.
  void end(std::uint64_t entry) {
    std::lock_guard lock(mutex_);
    auto found = entries_.find(entry);
    if (found == entries_.end()) return;
    letGo(found->second);
    entries_.erase(found);
  }

  void beginOpening() {
    std::unique_lock lock(mutex_);
    ++opening_;
    // Holds in place end within their bound, whatever their owners do.
    changed_.wait(lock, [this] { return inPlace_ == 0; });
  }

  void endOpening() {
    {
      std::lock_guard lock(mutex_);
      --opening_;
    }
    changed_.notify_all();
  }

  ServerHold::Record record() const {
    std::lock_guard lock(mutex_);
    return record_;
  }

  void forgetRecord() {
    std::lock_guard lock(mutex_);
    record_ = {};
  }

 private:
  struct Entry {
    Display* display;
    Clock::time_point since{};
    Clock::time_point deadline = Clock::time_point::max();
    bool cut = false;
    bool released = false;
  };

  Holds() = default;

  // Under `mutex_`. Sent on the owner's connection from whichever thread gets here first; Xlib
  // serialises the requests of threads sharing a display.
  void letGo(Entry& entry) {
    if (entry.released) return;
    entry.released = true;
    XUngrabServer(entry.display);
    XFlush(entry.display);
    if (entry.since != Clock::time_point{}) {
      record_.longestSeconds =
          std::max(record_.longestSeconds, secondsBetween(entry.since, Clock::now()));
    }
    --inPlace_;
    changed_.notify_all();
  }

  void run() {
    std::unique_lock lock(mutex_);
    while (true) {
      auto next = Clock::time_point::max();
      const auto now = Clock::now();
      for (auto& [id, entry] : entries_) {
        if (entry.released) continue;
        if (entry.deadline <= now) {
          entry.cut = true;
          ++record_.cutShort;
          letGo(entry);
        } else {
          next = std::min(next, entry.deadline);
        }
      }
      if (next == Clock::time_point::max()) {
        changed_.wait(lock);
      } else {
        changed_.wait_until(lock, next);
      }
    }
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::map<std::uint64_t, Entry> entries_;
  std::uint64_t nextEntry_ = 1;
  int inPlace_ = 0;  // holds asked of the server and not let go yet
  int opening_ = 0;  // connections being opened
  ServerHold::Record record_;
  bool releasing_ = false;  // its thread runs
};

// The outermost hold of each connection on this thread, and how deeply it is nested (a
// connection is used by one thread at a time, its event pump's).
struct Nesting {
  int depth = 0;
  std::uint64_t entry = 0;
};
thread_local std::map<Display*, Nesting> nestings;

}  // namespace

ServerHold::ServerHold(Display* display, double bound) : display_(display) {
  Nesting& nesting = nestings[display_];
  if (nesting.depth++ > 0) {
    entry_ = nesting.entry;
    return;
  }
  outermost_ = true;
  entry_ = nesting.entry = Holds::instance().begin(display_);
  if (!held()) return;
  XGrabServer(display_);
  XSync(display_, False);  // every event sent before the hold is in the queue now
  Holds::instance().started(entry_, bound);
}

ServerHold::~ServerHold() {
  auto nesting = nestings.find(display_);
  if (--nesting->second.depth > 0) return;
  nestings.erase(nesting);
  if (outermost_ && held()) Holds::instance().end(entry_);
}

bool ServerHold::cutShort() const {
  return held() && Holds::instance().cut(entry_);
}

ServerHold::Record ServerHold::record() {
  return Holds::instance().record();
}

void ServerHold::forgetRecord() {
  Holds::instance().forgetRecord();
}

ConnectionOpening::ConnectionOpening() {
  Holds::instance().beginOpening();
}

ConnectionOpening::~ConnectionOpening() {
  Holds::instance().endOpening();
}

}  // namespace corvane::platform::x11
