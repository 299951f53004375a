#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "operations/crash_reporter_runtime.h"
#include "operations/test_https_server.h"
#include "operations/test_update_fixtures.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::operations {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryFolder;
using testing::TestHttpsServer;

runtime::WallTime at(const std::string& iso) {
  runtime::WallTime time;
  EXPECT_TRUE(runtime::parseISO8601(iso, time)) << iso;
  return time;
}

class CrashUploadTest : public ::testing::Test {
 protected:
  // Queues whose jobs wait until the test steps them.
  std::shared_ptr<runtime::VirtualSerialQueue> heldQueue(const std::string& label) {
    auto queue = loop.makeQueue(label);
    queue->hold();
    return queue;
  }

  std::shared_ptr<CrashReporterRuntime> makeRuntime(
      std::shared_ptr<runtime::VirtualSerialQueue> uploadQueue = nullptr) {
    CrashReporterDependencies dependencies;
    dependencies.reportsDirectory = folder.path() / "CrashReports";
    dependencies.identity = ApplicationIdentity{"3.1", "310", "Linux test"};
    dependencies.http = platform::makeHttpClient(
        platform::HttpClientOptions{testing::TestCertificates::shared().caFile});
    dependencies.queue = heldQueue("crash-reporter");
    dependencies.uploadQueue = uploadQueue ? std::move(uploadQueue) : heldQueue("upload");
    dependencies.record = [this](const std::string& event,
                                 std::map<std::string, std::string> fields) {
      events.emplace_back(event, std::move(fields));
    };
    return std::make_shared<CrashReporterRuntime>(std::move(dependencies));
  }

  SentryEnvelopeDSN dsnFor(const TestHttpsServer& server) {
    auto dsn = SentryEnvelopeDSN::parse(
        "https://pubkey@127.0.0.1:" + std::to_string(server.port()) + "/42");
    EXPECT_TRUE(dsn.has_value());
    return *dsn;
  }

  CrashReport storedReport(const std::string& eventID) {
    CrashReport report;
    report.eventID = eventID;
    report.timestamp = at("2026-01-04T08:00:00Z");
    report.type = "POSIXSignal";
    report.reason = "Process terminated by signal 11";
    report.appVersion = "3.1";
    report.buildNumber = "310";
    report.operatingSystem = "Linux test";
    return report;
  }

  fs::path reportPath(const std::string& eventID) {
    return folder.path() / "CrashReports" / (eventID + ".json");
  }

  TemporaryFolder folder;        // outlives the loop and everything queued on it
  runtime::VirtualRunLoop loop;  // now() is 2026-01-05T09:00:00Z
  std::vector<std::pair<std::string, std::map<std::string, std::string>>> events;
  const std::string idA = "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa";
  const std::string idB = "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb";
};

TEST_F(CrashUploadTest, AnAcceptedReportIsSentAsAnEnvelopeAndRemoved) {
  TestHttpsServer server([](const TestHttpsServer::Request&) {
    return TestHttpsServer::Reply{202, "{\"id\":\"x\"}"};
  });
  auto reporter = makeRuntime();
  ASSERT_TRUE(reporter->store().persist(storedReport(idA)).ok());
  testing::writeFile(folder.path() / "CrashReports" / "signal.markers", "signal=6\n");
  testing::writeFile(folder.path() / "CrashReports" / "notes.txt", "not a report");

  const auto summary = reporter->uploadPendingReports(dsnFor(server));
  EXPECT_EQ(summary.sent, 1);
  EXPECT_FALSE(fs::exists(reportPath(idA)));
  EXPECT_TRUE(fs::exists(folder.path() / "CrashReports" / "signal.markers"));

  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(
      requests[0].target,
      "/api/42/envelope/?sentry_key=pubkey&sentry_version=7&sentry_client=corvane-cocoa%2F1.0");
  EXPECT_EQ(requests[0].headers["content-type"], "application/x-sentry-envelope");
  const std::string dsnText =
      "https:\\/\\/pubkey@127.0.0.1:" + std::to_string(server.port()) + "\\/42";
  EXPECT_EQ(requests[0].body,
            "{\"event_id\":\"" + idA + "\",\"dsn\":\"" + dsnText +
                "\",\"sent_at\":\"2026-01-05T09:00:00Z\"}\n"
                "{\"type\":\"event\"}\n"
                "{\"event_id\":\"" +
                idA +
                "\",\"timestamp\":\"2026-01-04T08:00:00Z\","
                "\"platform\":\"cocoa\",\"level\":\"fatal\",\"logger\":\"Corvane\","
                "\"release\":\"Corvane@3.1+310\",\"environment\":\"production\","
                "\"exception\":{\"values\":[{\"type\":\"POSIXSignal\",\"value\":"
                "\"Process terminated by signal 11\"}]},\"tags\":{\"privacy_mode\":"
                "\"metadata_only\",\"os\":\"Linux test\"}}\n");
}

TEST_F(CrashUploadTest, RefusalsAndLostConnectionsDeferTheReport) {
  for (const TestHttpsServer::Reply& reply :
       {TestHttpsServer::Reply{429, ""}, TestHttpsServer::Reply{500, "oops"},
        TestHttpsServer::Reply{200, "", true}}) {
    TestHttpsServer server([reply](const TestHttpsServer::Request&) { return reply; });
    auto reporter = makeRuntime();
    ASSERT_TRUE(reporter->store().persist(storedReport(idA)).ok());
    const auto summary = reporter->uploadPendingReports(dsnFor(server));
    EXPECT_EQ(summary.deferred, 1) << reply.status;
    auto stored = CrashReport::decode(testing::readWholeFile(reportPath(idA)));
    ASSERT_TRUE(stored.ok());
    EXPECT_EQ(stored->uploadAttempts, 1);
    EXPECT_EQ(stored->lastUploadFailureAt, loop.now());
    EXPECT_EQ(runtime::secondsBetween(loop.now(), *stored->nextUploadAttemptAt), 60);
    fs::remove_all(folder.path() / "CrashReports");
  }
}

TEST_F(CrashUploadTest, ADeferredReportWaitsForItsTimeThenBacksOffFurther) {
  int status = 500;
  TestHttpsServer server([&status](const TestHttpsServer::Request&) {
    return TestHttpsServer::Reply{status, ""};
  });
  auto reporter = makeRuntime();
  CrashReport report = storedReport(idA);
  report.uploadAttempts = 20;
  ASSERT_TRUE(reporter->store().persist(report).ok());
  ASSERT_TRUE(reporter->store().persist(storedReport(idB).recordingUploadFailure(loop.now())).ok());

  auto summary = reporter->uploadPendingReports(dsnFor(server));
  EXPECT_EQ(summary.deferred, 1);
  EXPECT_EQ(summary.notDue, 1);
  EXPECT_EQ(server.requests().size(), 1u);
  auto stored = CrashReport::decode(testing::readWholeFile(reportPath(idA)));
  EXPECT_EQ(stored->uploadAttempts, 21);
  EXPECT_EQ(runtime::secondsBetween(loop.now(), *stored->nextUploadAttemptAt), 86400);

  // A later launch, two minutes on: B is due, A is not; this time the endpoint accepts.
  loop.setWallTime(loop.now() + std::chrono::seconds(120));
  status = 200;
  summary = reporter->uploadPendingReports(dsnFor(server));
  EXPECT_EQ(summary.sent, 1);
  EXPECT_EQ(summary.notDue, 1);
  EXPECT_FALSE(fs::exists(reportPath(idB)));
  EXPECT_TRUE(fs::exists(reportPath(idA)));
}

TEST_F(CrashUploadTest, APermanentRejectionIsNotRetriedForever) {
  TestHttpsServer server([](const TestHttpsServer::Request&) {
    return TestHttpsServer::Reply{400, "{\"detail\":\"invalid envelope\"}"};
  });
  auto reporter = makeRuntime();
  ASSERT_TRUE(reporter->store().persist(storedReport(idA)).ok());
  const auto summary = reporter->uploadPendingReports(dsnFor(server));
  EXPECT_EQ(summary.discarded, 1);
  EXPECT_FALSE(fs::exists(reportPath(idA)));
}

TEST_F(CrashUploadTest, UnreadableReportsAreLeftUntouched) {
  TestHttpsServer server([](const TestHttpsServer::Request&) { return TestHttpsServer::Reply{}; });
  auto reporter = makeRuntime();
  const fs::path broken = folder.path() / "CrashReports" / "broken.json";
  testing::writeFile(broken, "{not json");
  // An event identifier that would name a file elsewhere if it were ever written back.
  CrashReport escaping = storedReport(idA);
  std::string text = escaping.encode();
  text.replace(text.find(idA), idA.size(), "..\\/..\\/escaped");
  const fs::path hostile = folder.path() / "CrashReports" / "hostile.json";
  testing::writeFile(hostile, text);

  const auto summary = reporter->uploadPendingReports(dsnFor(server));
  EXPECT_EQ(summary.unreadable, 2);
  EXPECT_TRUE(server.requests().empty());
  EXPECT_EQ(testing::readWholeFile(broken), "{not json");
  EXPECT_EQ(testing::readWholeFile(hostile), text);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].first, "crash_report_upload_finished");
  EXPECT_EQ(events[0].second["unreadable"], "2");
  EXPECT_EQ(events[0].second["sent"], "0");
}

TEST_F(CrashUploadTest, AFailureIsRecordedInTheFileTheReportCameFrom) {
  TestHttpsServer server([](const TestHttpsServer::Request&) {
    return TestHttpsServer::Reply{503, ""};
  });
  auto reporter = makeRuntime();
  const fs::path renamed = folder.path() / "CrashReports" / "copied-by-hand.json";
  testing::writeFile(renamed, storedReport(idA).encode());
  EXPECT_EQ(reporter->uploadPendingReports(dsnFor(server)).deferred, 1);
  EXPECT_FALSE(fs::exists(reportPath(idA)));
  auto stored = CrashReport::decode(testing::readWholeFile(renamed));
  ASSERT_TRUE(stored.ok());
  EXPECT_EQ(stored->uploadAttempts, 1);
}

TEST_F(CrashUploadTest, StartRunsOneBackgroundPassWithTheParsedDsn) {
  auto uploadQueue = heldQueue("upload");
  auto reporter = makeRuntime(uploadQueue);
  ASSERT_TRUE(reporter->store().persist(storedReport(idA)).ok());
  // Arm in a child: the test process keeps its own signal handlers. The child runs the pass it
  // queued and reports through its exit status whether the report was sent. It is forked before
  // the server's thread starts: a fork copies no other thread but every lock one holds (the
  // allocator's among them), and the child would wait on it for good. The port comes by a pipe.
  int portPipe[2];
  ASSERT_EQ(pipe(portPipe), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    close(portPipe[1]);
    int port = 0;
    if (read(portPipe[0], &port, sizeof port) != static_cast<ssize_t>(sizeof port)) _exit(2);
    reporter->start("https://pubkey@127.0.0.1:" + std::to_string(port) + "/42");
    const bool queuedOnePass = uploadQueue->pendingCount() == 1;
    while (uploadQueue->step()) {
    }
    _exit(queuedOnePass && !fs::exists(reportPath(idA)) ? 0 : 1);
  }
  close(portPipe[0]);
  TestHttpsServer server([](const TestHttpsServer::Request&) {
    return TestHttpsServer::Reply{200, ""};
  });
  const int port = server.port();
  const bool portSent = write(portPipe[1], &port, sizeof port) == static_cast<ssize_t>(sizeof port);
  close(portPipe[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(portSent);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(server.requests().size(), 1u);
}

}  // namespace
}  // namespace corvane::operations
