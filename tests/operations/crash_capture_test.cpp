#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <thread>

#include "model/production_configuration.h"
#include "operations/crash_reporter_runtime.h"
#include "operations/crash_signal_marker.h"
#include "operations/test_update_fixtures.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::operations {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryFolder;

const std::string kDsn = "https://publickey@127.0.0.1:1/7";

// An HTTP client for runtimes whose upload pass must not reach anything.
class UnreachableHttpClient final : public platform::HttpClient {
 public:
  runtime::Result<platform::HttpResponse> perform(const platform::HttpRequest&) override {
    return runtime::Result<platform::HttpResponse>::failure("offline");
  }
};

// A queue whose jobs wait until the test steps them (it never does here).
std::shared_ptr<runtime::SerialQueue> heldQueue(runtime::VirtualRunLoop& loop,
                                                const std::string& label) {
  auto queue = loop.makeQueue(label);
  queue->hold();
  return queue;
}

std::shared_ptr<CrashReporterRuntime> makeRuntime(runtime::VirtualRunLoop& loop,
                                                  const fs::path& reports,
                                                  std::shared_ptr<runtime::SerialQueue> queue) {
  CrashReporterDependencies dependencies;
  dependencies.reportsDirectory = reports;
  dependencies.identity = ApplicationIdentity{"3.1", "310", operatingSystemDescription()};
  dependencies.http = std::make_shared<UnreachableHttpClient>();
  dependencies.queue = queue ? std::move(queue) : heldQueue(loop, "crash-reporter");
  dependencies.uploadQueue = heldQueue(loop, "crash-reporter.upload");
  return std::make_shared<CrashReporterRuntime>(std::move(dependencies));
}

// Runs `body` in a forked child armed with a crash reporter on `reports`; returns the wait status.
int runArmedChild(const fs::path& reports, const std::function<void()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    // The persistence queue is a real thread, as in the application.
    runtime::VirtualRunLoop loop;
    auto reporter =
        makeRuntime(loop, reports, std::make_shared<runtime::ThreadSerialQueue>("crash-reporter"));
    reporter->start(kDsn);
    body();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

std::vector<CrashReport> reportsIn(const fs::path& folder) {
  std::vector<CrashReport> reports;
  if (!fs::exists(folder)) return reports;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() != ".json") continue;
    auto report = CrashReport::decode(testing::readWholeFile(entry.path()));
    EXPECT_TRUE(report.ok()) << entry.path();
    if (report) reports.push_back(*report);
  }
  return reports;
}

// Signal markers left by a child become reports the way the next start turns them into reports.
std::vector<CrashReport> reportsAfterNextStart(const fs::path& folder) {
  runtime::VirtualRunLoop loop;
  auto nextStart = makeRuntime(loop, folder, nullptr);
  EXPECT_TRUE(nextStart->promoteSignalMarkers(runtime::SystemClock().now()).ok());
  return reportsIn(folder);
}

[[noreturn]] void throwUncaught() {
  throw std::runtime_error("ledger/index out of range");
}

// Recurses until the stack runs out; the limit only exists to keep the compiler honest.
int overflowStack(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  if (depth == 1 << 30) return frame[0];
  return overflowStack(depth + 1) + frame[0];
}

TEST(CrashCaptureTest, AFatalSignalLeavesExactlyOneReport) {
  TemporaryFolder folder;
  const fs::path reports = folder.path() / "Corvane" / "CrashReports";
  const int status = runArmedChild(reports, [] {
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    *static_cast<volatile int*>(page) = 1;
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGSEGV);
  EXPECT_EQ(testing::readWholeFile(reports / "signal.markers"),
            "signal=" + std::to_string(SIGSEGV) + "\n");
  auto stored = reportsAfterNextStart(reports);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].type, "POSIXSignal");
  EXPECT_EQ(stored[0].reason, "Process terminated by signal " + std::to_string(SIGSEGV));
  EXPECT_EQ(stored[0].appVersion, "3.1");
  EXPECT_FALSE(fs::exists(reports / "signal.markers"));
}

TEST(CrashCaptureTest, EachHandledSignalLeavesItsMarkerAndTheDefaultDeath) {
  for (int signal : {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGSEGV, SIGTRAP}) {
    TemporaryFolder folder;
    const int status = runArmedChild(folder.path(), [signal] { raise(signal); });
    ASSERT_TRUE(WIFSIGNALED(status)) << signal;
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_EQ(testing::readWholeFile(folder.path() / "signal.markers"),
              "signal=" + std::to_string(signal) + "\n");
  }
}

TEST(CrashCaptureTest, AbortLeavesExactlyOneReport) {
  TemporaryFolder folder;
  const fs::path reports = folder.path() / "CrashReports";
  const int status = runArmedChild(reports, [] { std::abort(); });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGABRT);
  auto stored = reportsAfterNextStart(reports);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].reason, "Process terminated by signal " + std::to_string(SIGABRT));
}

TEST(CrashCaptureTest, AStackOverflowIsStillRecorded) {
  TemporaryFolder folder;
  const fs::path reports = folder.path() / "CrashReports";
  const int status = runArmedChild(reports, [] {
    rlimit limit{1 << 20, 1 << 20};
    setrlimit(RLIMIT_STACK, &limit);
    (void)overflowStack(0);
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGSEGV);
  EXPECT_EQ(reportsAfterNextStart(reports).size(), 1u);
}

TEST(CrashCaptureTest, AnUncaughtExceptionLeavesOneReportAndNoSignalMarker) {
  TemporaryFolder folder;
  const fs::path reports = folder.path() / "CrashReports";
  // Thrown on a thread of its own, where nothing (not even the test framework) catches it.
  const int status = runArmedChild(reports, [] { std::thread(throwUncaught).join(); });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGABRT);
  // The report is on disk before the process ends; the abort that follows adds no marker.
  EXPECT_EQ(testing::readWholeFile(reports / "signal.markers"), "");
  auto stored = reportsAfterNextStart(reports);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].type, "std::runtime_error");
  EXPECT_EQ(stored[0].reason, "ledger/index out of range");
  EXPECT_EQ(stored[0].buildNumber, "310");
  EXPECT_FALSE(stored[0].uploadAttempts.has_value());
}

TEST(CrashCaptureTest, AnExceptionWhoseReportCannotBeWrittenLeavesItsSignalMarker) {
  TemporaryFolder folder;
  const fs::path reports = folder.path() / "CrashReports";
  const fs::path movedAway = folder.path() / "moved";
  const int status = runArmedChild(reports, [&] {
    // The open marker file moves with its folder; a file now stands where reports are written.
    fs::rename(reports, movedAway);
    testing::writeFile(reports, "not a folder");
    std::thread(throwUncaught).join();
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(testing::readWholeFile(movedAway / "signal.markers"),
            "signal=" + std::to_string(SIGABRT) + "\n");
}

// Starts two threads that crash through `crash` at the same moment.
void crashTwoThreadsAtOnce(void (*crash)()) {
  static std::atomic<int> ready{0};
  auto racer = [crash] {
    ready.fetch_add(1);
    while (ready.load() < 2) {
    }
    crash();
  };
  std::thread first(racer);
  std::thread second(racer);
  first.join();
  second.join();
}

TEST(CrashCaptureTest, TwoThreadsCrashingAtOnceLeaveOneRecord) {
  for (int run = 0; run < 12; ++run) {
    TemporaryFolder folder;
    const int status =
        runArmedChild(folder.path(), [] { crashTwoThreadsAtOnce([] { raise(SIGSEGV); }); });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(testing::readWholeFile(folder.path() / "signal.markers"),
              "signal=" + std::to_string(SIGSEGV) + "\n")
        << "run " << run;
  }
  for (int run = 0; run < 12; ++run) {
    TemporaryFolder folder;
    const int status = runArmedChild(folder.path(), [] { crashTwoThreadsAtOnce(throwUncaught); });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(testing::readWholeFile(folder.path() / "signal.markers"), "") << "run " << run;
    EXPECT_EQ(reportsIn(folder.path()).size(), 1u) << "run " << run;
  }
}

TEST(CrashCaptureTest, AStackOverflowOnOneOfOurQueuesIsStillRecorded) {
  TemporaryFolder folder;
  const int status = runArmedChild(folder.path(), [] {
    runtime::ThreadSerialQueue queue("overflowing");
    queue.runSync([] { (void)overflowStack(0); });
  });
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGSEGV);
  EXPECT_EQ(testing::readWholeFile(folder.path() / "signal.markers"),
            "signal=" + std::to_string(SIGSEGV) + "\n");
}

TEST(CrashCaptureTest, AnExceptionWithoutMessageGetsTheDefaultReason) {
  TemporaryFolder folder;
  const fs::path reports = folder.path() / "CrashReports";
  runArmedChild(reports, [] { std::thread([] { throw 42; }).join(); });
  auto stored = reportsAfterNextStart(reports);
  ASSERT_EQ(stored.size(), 1u);
  EXPECT_EQ(stored[0].type, "int");
  EXPECT_EQ(stored[0].reason, "Uncaught exception");
}

TEST(CrashCaptureTest, TheMarkerFileIsNotInheritedByChildProcesses) {
  TemporaryFolder folder;
  const int status = runArmedChild(folder.path(), [] {
    const int flags = fcntl(corvane_crash_fd, F_GETFD);
    _exit(flags >= 0 && (flags & FD_CLOEXEC) != 0 ? 0 : 3);
  });
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(CrashCaptureTest, StartPromotesEarlierMarkersAndReopensAnEmptyMarkerFile) {
  TemporaryFolder folder;
  testing::writeFile(folder.path() / "signal.markers", "signal=11\nsignal= 4\nsignal=6\n");
  const int status = runArmedChild(folder.path(), [] {});
  ASSERT_TRUE(WIFEXITED(status));
  auto stored = reportsIn(folder.path());
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0].timestamp, stored[1].timestamp);
  EXPECT_TRUE(fs::exists(folder.path() / "signal.markers"));
  EXPECT_EQ(fs::file_size(folder.path() / "signal.markers"), 0u);
  EXPECT_EQ(fs::status(folder.path() / "signal.markers").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

// Runs `start` on fresh runtimes over a folder holding an earlier marker and checks that none of
// them installed anything, promoted the marker or kept a DSN.
void expectNothingStarted(
    const std::function<void(const std::shared_ptr<CrashReporterRuntime>&)>& start, int runs = 1) {
  TemporaryFolder folder;
  runtime::VirtualRunLoop loop;
  testing::writeFile(folder.path() / "signal.markers", "signal=11\n");
  const std::terminate_handler before = std::get_terminate();
  for (int run = 0; run < runs; ++run) {
    auto reporter = makeRuntime(loop, folder.path(), nullptr);
    start(reporter);
    EXPECT_FALSE(reporter->dsn().has_value());
  }
  EXPECT_EQ(corvane_crash_fd, -1);
  EXPECT_EQ(std::get_terminate(), before);
  EXPECT_TRUE(reportsIn(folder.path()).empty());
  EXPECT_EQ(testing::readWholeFile(folder.path() / "signal.markers"), "signal=11\n");
}

TEST(CrashCaptureTest, WithoutAUsableDsnNothingIsInstalled) {
  const std::vector<std::optional<std::string>> unusable = {std::nullopt, "http://k@h/1",
                                                            "https://h/1", "https://k@h/"};
  std::size_t next = 0;
  expectNothingStarted([&](const auto& reporter) { reporter->start(unusable[next++]); },
                       static_cast<int>(unusable.size()));
}

TEST(CrashCaptureTest, ABuildWithCrashReportingSwitchedOffInstallsNothing) {
  model::ProductionConfiguration configuration;
  configuration.crashReportingEnabled = false;
  configuration.crashReportingDSN = kDsn;
  expectNothingStarted([&](const auto& reporter) { reporter->start(configuration); });
}

TEST(CrashCaptureTest, AnUnreadableMarkerFileStaysForTheNextStart) {
  TemporaryFolder folder;
  runtime::VirtualRunLoop loop;
  fs::create_directories(folder.path() / "signal.markers");  // a folder where the file belongs
  auto reporter = makeRuntime(loop, folder.path(), nullptr);
  EXPECT_FALSE(reporter->promoteSignalMarkers(runtime::SystemClock().now()).ok());
  EXPECT_TRUE(fs::exists(folder.path() / "signal.markers"));
}

}  // namespace
}  // namespace corvane::operations
