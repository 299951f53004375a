// The built application when its X server goes away: it ends once, with a non-zero status, an
// event in its log and no crash report, whether idle or in a session.
#include <gtest/gtest.h>

#include <memory>

#include "shell/running_corvane.h"

namespace corvane::shell {
namespace {

using testing::CorvaneHome;

constexpr const char* kSentence =
    "corvane: The connection to the X display was lost; Corvane has ended.\n";

struct ServerRun {
  std::unique_ptr<corvane::testing::XvfbServer> server;
  std::unique_ptr<CorvaneHome> home;
  pid_t corvane = -1;
  bool inSession = false;
};

// Twenty runs, five at a time, each on an X server of its own killed under it.
TEST(DisplayLossOnX11, KillingTheServerEndsCorvaneOnceAndIsNoCrash) {
  constexpr int kRuns = 20;
  constexpr int kAtOnce = 5;
  for (int first = 0; first < kRuns; first += kAtOnce) {
    std::vector<ServerRun> runs(kAtOnce);
    for (int i = 0; i < kAtOnce; ++i) {
      auto& run = runs[i];
      run.inSession = (first + i) % 2 == 1;
      run.server = std::make_unique<corvane::testing::XvfbServer>(640, 480);
      ASSERT_TRUE(run.server->ok()) << "Xvfb did not start";
      run.home = std::make_unique<CorvaneHome>(run.server->name());
      run.home->seedSetupDone();
      run.corvane = run.home->launchKeepingErrors(
          run.inSession ? std::vector<std::string>{"--qa-start-protected-share"}
                        : std::vector<std::string>{});
    }
    for (auto& run : runs) {
      ASSERT_TRUE(run.home->waitForEvent(
          run.inSession ? "protected_share_first_frame_published" : "app_initialized", 30.0));
      // Crash reporting is armed (its marker file open) before the server goes.
      ASSERT_TRUE(corvane::testing::waitUntil(
          [&] { return std::filesystem::exists(run.home->crashReports() / "signal.markers"); }));
    }
    for (auto& run : runs) run.server->kill();
    for (int i = 0; i < kAtOnce; ++i) {
      auto& run = runs[i];
      SCOPED_TRACE(::testing::Message()
                   << "run " << first + i << (run.inSession ? " in a session" : " idle"));
      EXPECT_EQ(run.home->exitStatus(run.corvane, 20.0), 1) << "a crash, a hang or a clean exit";
      const std::string errors = run.home->errors();
      const auto said = errors.find(kSentence);
      EXPECT_NE(said, std::string::npos) << errors;
      if (said != std::string::npos) EXPECT_EQ(errors.find(kSentence, said + 1), std::string::npos);
      const auto events = run.home->events();
      EXPECT_EQ(std::count(events.begin(), events.end(), "x_display_connection_lost"), 1);
      const auto reports = run.home->crashReports();
      ASSERT_TRUE(std::filesystem::exists(reports / "signal.markers"));
      EXPECT_EQ(std::filesystem::file_size(reports / "signal.markers"), 0u);
      for (const auto& entry : std::filesystem::directory_iterator(reports)) {
        EXPECT_NE(entry.path().extension(), ".json") << entry.path();
      }
    }
  }
}

}  // namespace
}  // namespace corvane::shell
