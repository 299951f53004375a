#include "model/diagnostic_reporter.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <fstream>
#include <thread>

#include "platform/files.h"
#include "runtime/virtual_run_loop.h"
#include "support/temporary_folder.h"

namespace corvane::model {
namespace {

namespace fs = std::filesystem;

std::string contentsOf(const fs::path& path) {
  auto text = platform::readFile(path);
  return text ? text.value() : "<unreadable: " + text.message() + ">";
}

class DiagnosticReporterTest : public ::testing::Test {
 protected:
  std::shared_ptr<DiagnosticReporter> makeReporter(DiagnosticLogLimits limits = {}) {
    queue_ = loop_.makeQueue(DiagnosticReporter::queueLabel);
    return std::make_shared<DiagnosticReporter>(folder_ / "Diagnostics", queue_, folder_ / "tmp",
                                                limits);
  }

  testing::TemporaryFolder folder_;
  runtime::VirtualRunLoop loop_;
  std::shared_ptr<runtime::VirtualSerialQueue> queue_;
};

TEST_F(DiagnosticReporterTest, RecordWritesOneJsonLineOnTheQueue) {
  auto reporter = makeReporter();
  queue_->hold();
  reporter->record("demo_mode_started", {{"displayID", "1"}, {"strict", "true"}});
  EXPECT_FALSE(fs::exists(folder_ / "Diagnostics" / "events.jsonl"));  // nothing before the queue
  queue_->release();
  loop_.runUntilIdle();
  EXPECT_EQ(contentsOf(folder_ / "Diagnostics" / "events.jsonl"),
            "{\"timestamp\":\"2026-01-05T09:00:00.000Z\",\"event\":\"demo_mode_started\","
            "\"fields\":{\"displayID\":\"1\",\"strict\":\"true\"}}\n");
  const auto back = reporter->readEvents();
  ASSERT_EQ(back.events.size(), 1u);
  EXPECT_EQ(back.events[0].event, "demo_mode_started");
  EXPECT_EQ(back.events[0].time, loop_.now());
  EXPECT_EQ(fs::status(folder_ / "Diagnostics").permissions() & fs::perms::all,
            fs::perms::owner_all);
  EXPECT_EQ(fs::status(folder_ / "Diagnostics" / "events.jsonl").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(DiagnosticReporterTest, InvalidUtf8AndOversizedValuesStillGiveValidLines) {
  auto reporter = makeReporter();
  reporter->record("odd_input", {{"name", "bad\xff\xfe bytes"}, {"long", std::string(5000, 'x')}});
  std::map<std::string, std::string> many;
  for (int i = 0; i < 100; ++i) many["field" + std::to_string(i)] = "v";
  reporter->record("many_fields", many);
  const auto back = reporter->readEvents();
  ASSERT_EQ(back.events.size(), 2u);
  EXPECT_EQ(back.unreadableLineCount, 0u);
  EXPECT_LT(back.events[0].fields.at("long").size(), 1100u);
  EXPECT_EQ(back.events[1].fields.size(), DiagnosticEventLimits::maxFieldCount + 1);
  EXPECT_EQ(back.events[1].fields.at("droppedFieldCount"), "36");
  // The replaced bytes are not silent: the line counts the fields they were in.
  EXPECT_EQ(back.events[0].fields.at("invalidTextFieldCount"), "1");
}

TEST_F(DiagnosticReporterTest, ALinkAtTheLogPathIsMovedAsideOnceAndSaidSo) {
  const fs::path logFolder = folder_ / "Diagnostics";
  fs::create_directories(logFolder);
  const fs::path elsewhere = folder_ / "elsewhere.txt";
  std::ofstream(elsewhere) << "not ours\n";
  fs::create_symlink(elsewhere, logFolder / "events.jsonl");
  auto reporter = makeReporter();
  reporter->record("first_event", {});
  reporter->record("second_event", {});
  const auto back = reporter->readEvents();
  ASSERT_EQ(back.events.size(), 3u);
  EXPECT_EQ(back.events[0].event, "diagnostic_log_recovered");
  EXPECT_EQ(back.events[0].fields.at("keptAs"), "events.unreadable-1.jsonl");
  EXPECT_EQ(back.events[2].event, "second_event");
  EXPECT_EQ(reporter->lostEventCount(), 0u);
  EXPECT_TRUE(fs::is_symlink(logFolder / "events.unreadable-1.jsonl"));
  EXPECT_EQ(contentsOf(elsewhere), "not ours\n");
}

TEST_F(DiagnosticReporterTest, TruncatedOrBinaryLinesAreSkippedAndNewLinesStayWhole) {
  fs::create_directories(folder_ / "Diagnostics");
  {
    std::ofstream log(folder_ / "Diagnostics" / "events.jsonl", std::ios::binary);
    log << "{\"timestamp\":\"2026-01-05T08:00:00Z\",\"event\":\"ok\",\"fields\":{}}\n";
    log << std::string("\x00\x01\x02\xff binary", 12) << "\n";
    log << "{\"timestamp\":\"2026-01-05T08:00:01Z\",\"event\":\"cut";  // died mid-write
  }
  auto reporter = makeReporter();
  reporter->record("after_crash");
  const auto back = reporter->readEvents();
  ASSERT_EQ(back.events.size(), 2u) << contentsOf(folder_ / "Diagnostics" / "events.jsonl");
  EXPECT_EQ(back.events[0].event, "ok");
  EXPECT_EQ(back.events[1].event, "after_crash");
  EXPECT_EQ(back.unreadableLineCount, 2u);
}

TEST_F(DiagnosticReporterTest, RotationKeepsTheNewestEventsInBoundedFiles) {
  auto reporter = makeReporter(DiagnosticLogLimits{.maxFileBytes = 1000, .rotatedFileCount = 2});
  for (int i = 0; i < 200; ++i) reporter->record("tick", {{"index", std::to_string(i)}});
  const auto back = reporter->readEvents();
  ASSERT_FALSE(back.events.empty());
  EXPECT_LT(back.events.size(), 200u);
  EXPECT_EQ(back.events.back().fields.at("index"), "199");
  for (std::size_t i = 1; i < back.events.size(); ++i) {  // consecutive, newest kept, in order
    EXPECT_EQ(std::stoi(back.events[i].fields.at("index")),
              std::stoi(back.events[i - 1].fields.at("index")) + 1);
  }
  int files = 0;
  for (const auto& entry : fs::directory_iterator(folder_ / "Diagnostics")) {
    ++files;
    EXPECT_LE(entry.file_size(), 1000u);
  }
  EXPECT_EQ(files, 3);
}

TEST_F(DiagnosticReporterTest, ExportCopiesTheLogUnderATimestampedName) {
  auto reporter = makeReporter(DiagnosticLogLimits{.maxFileBytes = 400, .rotatedFileCount = 3});
  for (int i = 0; i < 6; ++i) reporter->record("tick", {{"index", std::to_string(i)}});
  const fs::path expected =
      folder_ / "tmp" / "Corvane-Diagnostics" / "corvane-diagnostics-2026-01-05T09-00-00Z.jsonl";
  {
    fs::create_directories(expected.parent_path());
    fs::permissions(expected.parent_path(), fs::perms::owner_all);
    std::ofstream stale(expected);
    stale << "stale";
  }
  auto exported = reporter->exportDiagnostics();
  ASSERT_TRUE(exported.ok()) << exported.message();
  EXPECT_EQ(exported.value(), expected);
  const std::string text = contentsOf(expected);
  EXPECT_EQ(text.find("stale"), std::string::npos);
  // Every event recorded before the export, from all rotated files, oldest first.
  for (int i = 0; i < 6; ++i) {
    EXPECT_NE(text.find("\"index\":\"" + std::to_string(i) + "\""), std::string::npos) << i;
  }
  EXPECT_LT(text.find("\"index\":\"0\""), text.find("\"index\":\"5\""));
}

TEST_F(DiagnosticReporterTest, ExportWithoutLogSaysSo) {
  auto reporter = makeReporter();
  loop_.advance(61.5);
  auto exported = reporter->exportDiagnostics();
  ASSERT_TRUE(exported.ok()) << exported.message();
  EXPECT_EQ(exported.value().filename(), "corvane-diagnostics-2026-01-05T09-01-01Z.jsonl");
  EXPECT_EQ(contentsOf(exported.value()), "No diagnostics recorded yet.\n");
}

TEST_F(DiagnosticReporterTest, ExportRefusesAFolderSomeoneElseCanChange) {
  auto reporter = makeReporter();
  reporter->record("x");
  fs::create_directories(folder_ / "elsewhere");
  fs::create_directories(folder_ / "tmp");
  fs::create_directory_symlink(folder_ / "elsewhere", folder_ / "tmp" / "Corvane-Diagnostics");
  auto exported = reporter->exportDiagnostics();
  EXPECT_FALSE(exported.ok());
  EXPECT_TRUE(fs::is_empty(folder_ / "elsewhere"));

  fs::remove(folder_ / "tmp" / "Corvane-Diagnostics");
  fs::create_directory(folder_ / "tmp" / "Corvane-Diagnostics");
  fs::permissions(folder_ / "tmp" / "Corvane-Diagnostics", fs::perms::all);
  exported = reporter->exportDiagnostics();
  ASSERT_FALSE(exported.ok());
  EXPECT_NE(exported.message().find("can be changed by others"), std::string::npos);
}

TEST(DiagnosticReporterExportFolderTest, ExportsGoToTheUsersOwnRuntimeFolderNeverASharedOne) {
  testing::TemporaryFolder folder;
  runtime::VirtualRunLoop loop;
  // A folder every user may write to, as the machine's temporary folder is.
  const auto shared = folder / "shared-tmp";
  fs::create_directories(shared);
  fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
  DiagnosticReporter intoShared({}, loop.makeQueue("d"), shared);
  auto refused = intoShared.exportDiagnostics();
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.message().find(shared.string()), std::string::npos);
  EXPECT_FALSE(fs::exists(shared / DiagnosticReporter::exportFolderName));

  // Unless told otherwise, the user's runtime folder.
  const auto runtimeFolder = folder / "run-user";
  fs::create_directories(runtimeFolder);
  fs::permissions(runtimeFolder, fs::perms::owner_all);
  const char* previous = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = previous ? previous : "";
  ::setenv("XDG_RUNTIME_DIR", runtimeFolder.c_str(), 1);
  DiagnosticReporter byDefault({}, loop.makeQueue("e"), {});
  auto exported = byDefault.exportDiagnostics();
  if (previous) {
    ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  } else {
    ::unsetenv("XDG_RUNTIME_DIR");
  }
  ASSERT_TRUE(exported.ok()) << exported.message();
  EXPECT_EQ(exported->parent_path(), runtimeFolder / DiagnosticReporter::exportFolderName);
}

TEST_F(DiagnosticReporterTest, ExportFailureCarriesASentence) {
  std::ofstream blocker(folder_ / "tmp");  // a file where the temporary folder should be
  blocker.close();
  auto reporter = makeReporter();
  auto exported = reporter->exportDiagnostics();
  ASSERT_FALSE(exported.ok());
  EXPECT_NE(exported.message().find("is not a folder"), std::string::npos);
}

TEST(DiagnosticReporterThreadsTest, BurstFromManyThreadsLosesNoLine) {
  testing::TemporaryFolder folder;
  auto reporter = std::make_shared<DiagnosticReporter>(
      folder / "Diagnostics", std::make_shared<runtime::ThreadSerialQueue>("diagnostics-test"),
      folder / "tmp");
  constexpr int threadCount = 8;
  constexpr int perThread = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < threadCount; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < perThread; ++i) {
        reporter->record("burst", {{"thread", std::to_string(t)}, {"index", std::to_string(i)}});
      }
    });
  }
  for (auto& thread : threads) thread.join();
  const auto back = reporter->readEvents();
  EXPECT_EQ(back.events.size(), static_cast<std::size_t>(threadCount * perThread));
  EXPECT_EQ(back.unreadableLineCount, 0u);
  EXPECT_EQ(reporter->lostEventCount(), 0u);
  std::vector<int> nextIndex(threadCount, 0);
  for (const auto& event : back.events) {  // each thread's events arrive in its order
    const int t = std::stoi(event.fields.at("thread"));
    EXPECT_EQ(std::stoi(event.fields.at("index")), nextIndex[t]++);
  }
}

TEST(DiagnosticReporterSharedTest, SharedUsesTheInstalledReporter) {
  testing::TemporaryFolder folder;
  runtime::VirtualRunLoop loop;
  auto mine = std::make_shared<DiagnosticReporter>(folder / "Diagnostics", loop.makeQueue("d"),
                                                   folder / "tmp");
  {
    ScopedDiagnosticReporter scope(mine);
    DiagnosticReporter::shared().record("app_initialized");
    EXPECT_EQ(&DiagnosticReporter::shared(), mine.get());
  }
  EXPECT_NE(&DiagnosticReporter::shared(), mine.get());
  ASSERT_EQ(mine->readEvents().events.size(), 1u);
}

TEST(DiagnosticReporterSharedTest, UntilTheAppInstallsItsLogNothingIsKeptAnywhere) {
  testing::TemporaryFolder folder;
  runtime::VirtualRunLoop loop;
  ScopedDiagnosticReporter reset(nullptr);
  DiagnosticReporter& early = DiagnosticReporter::shared();
  early.record("before_install");
  EXPECT_TRUE(early.folder().empty());
  EXPECT_TRUE(early.readEvents().events.empty());

  ScopedDiagnosticReporter installed(std::make_shared<DiagnosticReporter>(
      folder / "Corvane" / "Diagnostics", loop.makeQueue("d"), folder / "tmp"));
  DiagnosticReporter::shared().record("after_install");
  early.record("late_but_harmless");  // a reference handed out earlier stays valid
  EXPECT_EQ(DiagnosticReporter::shared().folder(), folder / "Corvane" / "Diagnostics");
  const auto events = DiagnosticReporter::shared().readEvents().events;
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].event, "after_install");
}

TEST(DiagnosticReporterSharedTest, ReporterWithoutFolderKeepsNothingAndExportsPlaceholder) {
  testing::TemporaryFolder folder;
  runtime::VirtualRunLoop loop;
  DiagnosticReporter reporter({}, loop.makeQueue("d"), folder / "tmp");
  reporter.record("anything");
  loop.runUntilIdle();
  EXPECT_TRUE(reporter.readEvents().events.empty());
  auto exported = reporter.exportDiagnostics();
  ASSERT_TRUE(exported.ok());
  EXPECT_EQ(contentsOf(exported.value()), "No diagnostics recorded yet.\n");
}

}  // namespace
}  // namespace corvane::model
