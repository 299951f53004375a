#include "platform/x11/x_event_pump.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>

#include "runtime/thread_signal_stack.h"

namespace corvane::platform::x11 {
namespace {

// How many queued events one pass handles at most, and for how long.
constexpr int kMostEventsPerPass = 256;
constexpr double kLongestEventWork = 0.05;
// A lost connection of a pump that opens it again: the first try after this long, each failed
// one doubling the wait up to the longest.
constexpr double kFirstReopenDelay = 0.05;
constexpr double kLongestReopenDelay = 2.0;

}  // namespace

struct XEventPump::State {
  State() : wakeDescriptor(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  ~State() {
    if (wakeDescriptor >= 0) ::close(wakeDescriptor);
  }
  void wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = write(wakeDescriptor, &one, sizeof one);
  }
  void run(std::string displayName, Callbacks callbacks);
  // Opens the connection and runs the setup on it; the setup's failure closes it again.
  runtime::Result<std::unique_ptr<XConnection>> openAndSetUp(const std::string& displayName,
                                                             Callbacks& callbacks);
  // Jobs, events and the idle work until a stop (false) or the loss of the connection (true).
  bool serve(XConnection& connection, Callbacks& callbacks);
  void closeConnection(std::unique_ptr<XConnection>& connection);
  // False when a stop was asked for meanwhile.
  bool waitBeforeReopening(double seconds);
  // No job can run here any more: those waiting run without a connection.
  void runDroppedJobs();
  void end();
  void watch(const Callbacks& callbacks);
  // Shuts the connection's socket, so a thread blocked on the server gets an error at once.
  // False while there is no socket yet (the thread is still connecting).
  bool cutOff() {
    std::lock_guard lock(mutex);
    if (connectionDescriptor < 0) return false;
    shutdown(connectionDescriptor, SHUT_RDWR);
    return true;
  }
  void markEnded() {
    {
      std::lock_guard lock(mutex);
      finished = true;
    }
    finishedChanged.notify_all();
  }

  int wakeDescriptor;
  std::mutex mutex;
  std::condition_variable finishedChanged;
  std::deque<std::function<void(XConnection*)>> jobs;
  bool ended = false;
  bool finished = false;
  int connectionDescriptor = -1;     // under `mutex`
  std::atomic<double> busySince{0};  // pumpClock() when the thread last left its wait; 0 waiting
  std::atomic<bool> stopping{false};
  std::atomic<double> stopAskedAt{0};  // pumpClock() at the first stop request
  std::atomic<bool> reportedReady{false};
  std::atomic<bool> running{false};
};

double pumpClock() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

XEventPump::~XEventPump() {
  if (onOwnThread()) {
    // The last owner let go from inside a callback: the threads own their state and end by
    // themselves.
    requestStop();
    if (thread_.joinable()) thread_.detach();
    if (watchdog_.joinable()) watchdog_.detach();
    return;
  }
  stop();
}

bool XEventPump::onOwnThread() const {
  const auto self = std::this_thread::get_id();
  return (thread_.joinable() && thread_.get_id() == self) ||
         (watchdog_.joinable() && watchdog_.get_id() == self);
}

void XEventPump::State::watch(const Callbacks& callbacks) {
  bool toldWaiting = false;
  bool triedCut = false;
  std::unique_lock lock(mutex);
  while (!finished) {
    finishedChanged.wait_for(lock, std::chrono::milliseconds(50));
    if (finished) break;
    const double now = pumpClock();
    const double since = busySince.load();
    if (!toldWaiting && callbacks.waitingOnServer && !reportedReady.load() && since != 0 &&
        now - since >= callbacks.waitingAfter) {
      toldWaiting = true;
      lock.unlock();
      callbacks.waitingOnServer();
      lock.lock();
      continue;
    }
    const double stopAsked = stopAskedAt.load();
    if (!triedCut && callbacks.cutAfterStop > 0 && stopAsked != 0 &&
        now - stopAsked >= callbacks.cutAfterStop && since != 0 && connectionDescriptor >= 0) {
      triedCut = true;
      lock.unlock();
      if (!callbacks.mayCutOnStop || callbacks.mayCutOnStop()) cutOff();
      lock.lock();
      continue;
    }
    if (since == 0 || now - since < callbacks.stallLimit) continue;
    lock.unlock();
    if (callbacks.stalled) callbacks.stalled();
    cutOff();
    return;
  }
}

void XEventPump::start(std::string displayName, Callbacks callbacks) {
  state_ = std::make_shared<State>();
  state_->running.store(true);
  if (callbacks.stallLimit > 0) {
    watchdog_ = std::thread([state = state_, callbacks] { state->watch(callbacks); });
  }
  thread_ = std::thread(
      [state = state_, name = std::move(displayName), cb = std::move(callbacks)]() mutable {
        runtime::ThreadSignalStack signalStack;
        state->run(std::move(name), std::move(cb));
      });
}

runtime::Status XEventPump::startAndWait(std::string displayName, Callbacks callbacks,
                                         double timeout, std::string timeoutMessage) {
  auto outcome = std::make_shared<std::promise<runtime::Status>>();
  auto future = outcome->get_future();
  callbacks.ready = [outcome, ready = std::move(callbacks.ready)](runtime::Status status) {
    if (ready) ready(status);
    outcome->set_value(std::move(status));
  };
  start(std::move(displayName), std::move(callbacks));
  if (future.wait_for(std::chrono::duration<double>(timeout)) != std::future_status::ready) {
    return runtime::Status::failure(std::move(timeoutMessage));
  }
  return future.get();
}

void XEventPump::post(std::function<void(XConnection*)> job) {
  if (state_) {
    std::unique_lock lock(state_->mutex);
    if (!state_->ended) {
      state_->jobs.push_back(std::move(job));
      lock.unlock();
      state_->wake();
      return;
    }
  }
  job(nullptr);
}

void XEventPump::requestStop() {
  if (!state_) return;
  double never = 0;
  state_->stopAskedAt.compare_exchange_strong(never, pumpClock());
  state_->stopping.store(true);
  state_->wake();
}

void XEventPump::stop() {
  requestStop();
  if (onOwnThread()) return;
  if (state_) {
    std::unique_lock lock(state_->mutex);
    const bool ended = state_->finishedChanged.wait_for(
        lock, std::chrono::duration<double>(kStopGrace), [this] { return state_->finished; });
    lock.unlock();
    if (!ended && !state_->cutOff()) {
      // Stuck before it had a socket to shut, or closing it already: it owns its state and ends
      // whenever it can (a second stop finds it detached already).
      if (thread_.joinable()) thread_.detach();
      if (watchdog_.joinable()) watchdog_.detach();
      return;
    }
  }
  if (thread_.joinable()) thread_.join();
  if (watchdog_.joinable()) watchdog_.join();
}

void XEventPump::stopWithoutCutting() {
  requestStop();
  if (!state_ || onOwnThread()) return;
  bool ended = false;
  {
    std::unique_lock lock(state_->mutex);
    ended = state_->finishedChanged.wait_for(lock, std::chrono::duration<double>(kStopGrace),
                                             [this] { return state_->finished; });
  }
  if (ended) {
    if (thread_.joinable()) thread_.join();
    if (watchdog_.joinable()) watchdog_.join();
    return;
  }
  // The threads own their state and end whenever they can.
  if (thread_.joinable()) thread_.detach();
  if (watchdog_.joinable()) watchdog_.detach();
  state_.reset();
}

bool XEventPump::isRunning() const {
  return state_ && state_->running.load();
}

void XEventPump::State::run(std::string displayName, Callbacks callbacks) {
  // Xlib writes to its socket without MSG_NOSIGNAL: once the server has hung up, a write would
  // raise SIGPIPE and end the whole process before the loss could be reported. Blocked on this
  // thread, the signal only stays pending here and the write fails with EPIPE, which Xlib turns
  // into the I/O error the connection reports as lost.
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);
  double reopenDelay = kFirstReopenDelay;
  while (true) {
    busySince.store(pumpClock());
    auto opened = openAndSetUp(displayName, callbacks);
    if (!opened) {
      const bool firstOutcome = !reportedReady.exchange(true);
      if (firstOutcome && !callbacks.reopensLostConnection) {
        end();
        if (callbacks.ready) callbacks.ready(opened.error());
        return;
      }
      // A pump that follows the desktop for as long as it lives tries again, the first time
      // too: the connection may have been lost while it was being opened and set up (another
      // client killed it), or the server may refuse new connections for a while (it has as
      // many clients as it takes). Its owner hears of a first failure and may stop it.
      if (firstOutcome && callbacks.ready) callbacks.ready(opened.error());
      if (!waitBeforeReopening(reopenDelay)) break;
      reopenDelay = std::min(2 * reopenDelay, kLongestReopenDelay);
      continue;
    }
    if (!reportedReady.exchange(true) && callbacks.ready) {
      callbacks.ready(runtime::Status::success());
    }
    reopenDelay = kFirstReopenDelay;
    auto connection = std::move(opened).value();
    const bool lost = serve(*connection, callbacks);
    if (!lost) {
      runDroppedJobs();
      if (callbacks.teardown) callbacks.teardown();
      closeConnection(connection);
      break;
    }
    if (!callbacks.reopensLostConnection) runDroppedJobs();
    if (callbacks.connectionLost) callbacks.connectionLost();
    closeConnection(connection);
    if (!callbacks.reopensLostConnection || !waitBeforeReopening(reopenDelay)) break;
  }
  end();
}

runtime::Result<std::unique_ptr<XConnection>> XEventPump::State::openAndSetUp(
    const std::string& displayName, Callbacks& callbacks) {
  auto opened = XConnection::open(displayName);
  if (!opened) return opened.error();
  auto connection = std::move(opened).value();
  connection->bindToThisThread();
  {
    std::lock_guard lock(mutex);
    connectionDescriptor = connection->fileDescriptor();
  }
  if (callbacks.setup) {
    auto status = callbacks.setup(*connection);
    if (!status) {
      if (callbacks.teardown) callbacks.teardown();
      closeConnection(connection);
      return status.error();
    }
  }
  return connection;
}

void XEventPump::State::closeConnection(std::unique_ptr<XConnection>& connection) {
  {
    std::lock_guard lock(mutex);
    connectionDescriptor = -1;
  }
  connection.reset();
}

bool XEventPump::State::waitBeforeReopening(double seconds) {
  busySince.store(0);
  const auto until = pumpClock() + seconds;
  while (!stopping.load()) {
    const double left = until - pumpClock();
    if (left <= 0) return true;
    pollfd descriptor{wakeDescriptor, POLLIN, 0};
    if (poll(&descriptor, 1, static_cast<int>(std::ceil(left * 1000.0))) > 0) {
      std::uint64_t count;
      [[maybe_unused]] auto got = read(wakeDescriptor, &count, sizeof count);
    }
  }
  return false;
}

void XEventPump::State::runDroppedJobs() {
  std::deque<std::function<void(XConnection*)>> dropped;
  {
    std::lock_guard lock(mutex);
    ended = true;
    dropped.swap(jobs);
  }
  for (auto& job : dropped) job(nullptr);
}

void XEventPump::State::end() {
  runDroppedJobs();
  running.store(false);
  busySince.store(0);
  markEnded();
}

bool XEventPump::State::serve(XConnection& connection, Callbacks& callbacks) {
  Display* display = connection.display();
  while (!stopping.load()) {
    // The watchdog times one pass, not the time since the last wait: under a steady stream of
    // events (or on a loaded machine) the loop may go round for long without waiting, yet every
    // pass that ends got its answers from the server.
    busySince.store(pumpClock());
    std::deque<std::function<void(XConnection*)>> pending;
    {
      std::lock_guard lock(mutex);
      pending.swap(jobs);
    }
    for (auto& job : pending) job(&connection);
    // A bounded share of the queued events per pass: under a flood (each event may cost round
    // trips) the stop and the idle work (composing) still get their turn every pass.
    const double eventsUntil = pumpClock() + kLongestEventWork;
    for (int handled = 0; handled < kMostEventsPerPass && !connection.isLost() &&
                          !stopping.load() && XPending(display) > 0;
         ++handled) {
      XEvent event;
      XNextEvent(display, &event);
      if (callbacks.event) callbacks.event(event);
      if (pumpClock() >= eventsUntil) break;
    }
    if (connection.isLost() || connection.probeLost()) return true;
    if (stopping.load()) break;
    std::optional<double> wait = callbacks.idle ? callbacks.idle() : std::nullopt;
    if (connection.isLost()) return true;
    XFlush(display);
    if (XPending(display) > 0) continue;
    {
      std::lock_guard lock(mutex);
      if (!jobs.empty()) continue;
    }
    pollfd descriptors[2] = {{connection.fileDescriptor(), POLLIN, 0}, {wakeDescriptor, POLLIN, 0}};
    int timeout = -1;
    if (wait) timeout = static_cast<int>(std::ceil(std::max(0.0, *wait) * 1000.0));
    busySince.store(0);
    const int ready = poll(descriptors, 2, timeout);
    busySince.store(pumpClock());
    if (ready > 0 && (descriptors[1].revents & POLLIN)) {
      std::uint64_t count;
      [[maybe_unused]] auto got = read(wakeDescriptor, &count, sizeof count);
    }
    if (descriptors[0].revents & (POLLHUP | POLLERR)) connection.probeLost();
  }
  return false;
}

}  // namespace corvane::platform::x11
