#include "operations/crash_signal_marker.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <sys/syscall.h>

#include <atomic>
#include <csignal>

#include "runtime/thread_signal_stack.h"

volatile int corvane_crash_fd = -1;

namespace {

volatile sig_atomic_t markerSuppressed = 0;

constexpr int kHandledSignals[] = {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGTRAP};

// The kernel id of the thread whose crash is being recorded, or 0. Lock-free, so it may be used
// inside a signal handler.
std::atomic<pid_t> crashingThread{0};
static_assert(std::atomic<pid_t>::is_always_lock_free);

// The installing thread's alternate stack lives for the rest of the process.
void installAlternateStack() {
  static auto* stack = new corvane::runtime::ThreadSignalStack();
  (void)stack;
}

void extendedHandler(int signal, siginfo_t*, void*) {
  corvane_signal_handler(signal);
}

}  // namespace

namespace corvane::operations {

int formatSignalMarker(int signal, char* buffer) {
  static const char kPrefix[] = "signal=";
  int length = 0;
  for (const char* p = kPrefix; *p != '\0'; ++p) buffer[length++] = *p;
  // Digits of the magnitude, built backwards; unsigned so INT_MIN works too.
  unsigned magnitude =
      signal < 0 ? 0u - static_cast<unsigned>(signal) : static_cast<unsigned>(signal);
  char digits[12];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (signal < 0) buffer[length++] = '-';
  while (count > 0) buffer[length++] = digits[--count];
  buffer[length++] = '\n';
  return length;
}

}  // namespace corvane::operations

extern "C" {

int CorvaneCrashClaim(void) {
  const auto self = static_cast<pid_t>(syscall(SYS_gettid));
  pid_t expected = 0;
  if (crashingThread.compare_exchange_strong(expected, self)) return 1;
  return expected == self ? 1 : 0;
}

void CorvaneCrashHoldThread(void) {
  for (;;) pause();
}

void corvane_signal_handler(int signal) {
  if (CorvaneCrashClaim() == 0) CorvaneCrashHoldThread();
  const int fd = corvane_crash_fd;
  if (fd >= 0 && markerSuppressed == 0) {
    char line[32];
    const int length = corvane::operations::formatSignalMarker(signal, line);
    ssize_t ignored = write(fd, line, static_cast<size_t>(length));
    (void)ignored;
  }
  struct sigaction fallback {};
  sigemptyset(&fallback.sa_mask);
  fallback.sa_flags = 0;
  fallback.sa_handler = SIG_DFL;
  sigaction(signal, &fallback, nullptr);
  raise(signal);
}

int CorvaneCrashSignalInstall(const char* path) {
  if (path == nullptr) return -1;
  if (corvane_crash_fd >= 0) {
    close(corvane_crash_fd);
    corvane_crash_fd = -1;
  }
  // Close-on-exec: a child process must not inherit the marker file and write into it.
  const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  corvane_crash_fd = fd;
  installAlternateStack();
  for (int signal : kHandledSignals) {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    action.sa_sigaction = extendedHandler;
    sigaction(signal, &action, nullptr);
  }
  return 0;
}

void CorvaneCrashSignalSuppressMarker(void) {
  markerSuppressed = 1;
}
}
