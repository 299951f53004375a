#pragma once

// The fatal-signal marker. The handler may only do what is safe inside a signal: it formats
// "signal=<number>\n" on its own stack, writes it with one write() to the marker file opened
// beforehand, restores the default action and raises the signal again so the process dies of it.
// The first crashing thread is the one recorded; a thread crashing after it waits for the end.

extern "C" {

// The open marker file, or -1.
extern volatile int corvane_crash_fd;

// Opens `path` (append, create, 0600, close-on-exec), sets up an alternate signal stack so a stack
// overflow is still recorded, and installs the handler for SIGABRT, SIGBUS, SIGFPE, SIGILL,
// SIGSEGV and SIGTRAP. Returns 0, or -1 when the path is null or cannot be opened.
int CorvaneCrashSignalInstall(const char* path);

// Claims the crash for the calling thread: 1 when no other thread crashed first (or the caller
// already holds the claim), 0 when another thread's crash is being recorded. Signal-safe.
int CorvaneCrashClaim(void);

// Parks the calling thread until the process ends: for a thread that crashed while another
// thread's crash is being recorded, so that one crash leaves one report. Signal-safe.
[[noreturn]] void CorvaneCrashHoldThread(void);

// Makes the handler write nothing: the crash has already been recorded another way (an uncaught
// exception whose report is on disk before std::abort raises SIGABRT).
void CorvaneCrashSignalSuppressMarker(void);

void corvane_signal_handler(int signal);
}

namespace corvane::operations {

// Formats "signal=<number>\n" into `buffer` (at least 20 bytes) and returns its length. Safe in a
// signal handler.
int formatSignalMarker(int signal, char* buffer);

}  // namespace corvane::operations
