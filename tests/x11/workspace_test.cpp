#include <gtest/gtest.h>

#include <vector>

#include "platform/x11/x11_workspace.h"
#include "runtime/virtual_run_loop.h"
#include "support/x11/pager.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

RunningApplication app(std::string id, std::int32_t pid, bool hidden = false) {
  return RunningApplication{id, id, pid, hidden, false};
}

std::vector<WorkspaceEventKind> kinds(const std::vector<WorkspaceEvent>& events) {
  std::vector<WorkspaceEventKind> result;
  for (const auto& event : events) result.push_back(event.kind);
  return result;
}

TEST(WorkspaceChangesTest, OrdersTerminationsLaunchesVisibilityActivationAndDesktop) {
  WorkspaceSnapshot before;
  before.applications = {app("Gone", 10), app("Stays", 11), app("Hides", 12)};
  before.frontmost = before.applications[1];
  before.activeDesktop = 0;
  WorkspaceSnapshot after;
  after.applications = {app("Stays", 11), app("Hides", 12, true), app("New", 13)};
  after.frontmost = after.applications[2];
  after.activeDesktop = 1;
  const auto changes = workspaceChanges(before, after);
  using enum WorkspaceEventKind;
  EXPECT_EQ(kinds(changes), (std::vector<WorkspaceEventKind>{
                                applicationTerminated, applicationHidden, applicationLaunched,
                                applicationActivated, activeDesktopChanged}));
  EXPECT_EQ(changes[0].application->bundleIdentifier, "Gone");
  EXPECT_EQ(changes[3].application->processIdentifier, 13);
  EXPECT_FALSE(changes[4].application);
  for (const auto& change : changes) EXPECT_EQ(change.desktop, 1);
  EXPECT_TRUE(workspaceChanges(after, after).empty());
}

// Collects workspace events as the main actor delivers them.
class EventLog {
 public:
  explicit EventLog(Workspace& workspace)
      : subscription_(workspace.observe(
            [this](const WorkspaceEvent& event) { received_.push_back(event); })) {}
  // Forgets what arrived so far.
  void clear() { received_.clear(); }
  // Runs the main actor until an event of `kind` about `pid` (0 = any) arrives.
  bool waitFor(runtime::VirtualRunLoop& loop, WorkspaceEventKind kind, std::int32_t pid = 0) {
    return waitUntil([&] {
      loop.runUntilIdle();
      for (const auto& event : received_) {
        if (event.kind != kind) continue;
        if (pid == 0) return true;
        if (event.application && event.application->processIdentifier == pid) return true;
      }
      return false;
    });
  }

 private:
  runtime::Subscription subscription_;
  std::vector<WorkspaceEvent> received_;
};

bool hasApplication(const Workspace& workspace, std::int32_t pid) {
  for (const auto& application : workspace.runningApplications()) {
    if (application.processIdentifier == pid) return true;
  }
  return false;
}

class WorkspaceTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    server_ = std::make_unique<XvfbServer>(640, 480);
    ASSERT_TRUE(server_->ok());
    if (GetParam()) ASSERT_TRUE(server_->startWindowManager());
    auto opened = X11Workspace::open(server_->name(), plainIdentities());
    ASSERT_TRUE(opened.ok()) << opened.message();
    workspace_ = std::move(opened).value();
    workspace_->setTerminateGrace(0.3);
    log_ = std::make_unique<EventLog>(*workspace_);
  }
  void TearDown() override {
    log_.reset();
    workspace_.reset();
  }

  runtime::VirtualRunLoop loop_;
  std::unique_ptr<XvfbServer> server_;
  std::shared_ptr<X11Workspace> workspace_;
  std::unique_ptr<EventLog> log_;
};

TEST_P(WorkspaceTest, ReportsLaunchActivationAndTermination) {
  TestClient first(server_->name(), {.windowClass = "First", .x = 10, .y = 10});
  ASSERT_TRUE(log_->waitFor(loop_, WorkspaceEventKind::applicationLaunched, first.pid()));
  TestClient second(server_->name(), {.windowClass = "Second", .x = 200, .y = 10});
  ASSERT_TRUE(log_->waitFor(loop_, WorkspaceEventKind::applicationLaunched, second.pid()));
  EXPECT_TRUE(hasApplication(*workspace_, first.pid()));

  ASSERT_TRUE(workspace_->activate(second.pid()));
  ASSERT_TRUE(waitUntil([&] {
    loop_.runUntilIdle();
    auto front = workspace_->frontmostApplication();
    return front && front->processIdentifier == second.pid();
  }));
  log_->clear();
  ASSERT_TRUE(workspace_->activate(first.pid()));
  ASSERT_TRUE(log_->waitFor(loop_, WorkspaceEventKind::applicationActivated, first.pid()));
  ASSERT_TRUE(workspace_->frontmostApplication());
  EXPECT_EQ(workspace_->frontmostApplication()->bundleIdentifier, "First");

  // A polite request first: the client quits on WM_DELETE_WINDOW by itself.
  const pid_t secondPid = second.pid();
  ASSERT_TRUE(workspace_->terminate(secondPid));
  ASSERT_TRUE(log_->waitFor(loop_, WorkspaceEventKind::applicationTerminated, secondPid));
  EXPECT_TRUE(waitUntil([&] { return second.hasExited(); }));
  EXPECT_FALSE(hasApplication(*workspace_, secondPid));

  // One that ignores the request gets SIGTERM after the grace period.
  TestClient stubborn(server_->name(),
                      {.windowClass = "Stubborn", .x = 300, .y = 200, .stubborn = true});
  ASSERT_TRUE(log_->waitFor(loop_, WorkspaceEventKind::applicationLaunched, stubborn.pid()));
  const pid_t stubbornPid = stubborn.pid();
  ASSERT_TRUE(workspace_->terminate(stubbornPid));
  EXPECT_TRUE(waitUntil([&] { return stubborn.hasExited(); }));
  ASSERT_TRUE(log_->waitFor(loop_, WorkspaceEventKind::applicationTerminated, stubbornPid));

  EXPECT_FALSE(workspace_->terminate(getpid())) << "never this process";
  EXPECT_FALSE(workspace_->terminate(1));
  EXPECT_FALSE(workspace_->activate(999999));
  EXPECT_FALSE(workspace_->openURL("--help")) << "never an option for xdg-open";
}

TEST_P(WorkspaceTest, NeverAsksAnotherUsersClientToQuit) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to run a client as another user";
  // Run as root, Corvane sees every user's X clients; one of another user is never asked to
  // quit, neither by a close request nor by a signal.
  TestClient foreign(
      server_->name(),
      {.windowClass = "Foreign", .x = 10, .y = 10, .stubborn = true, .runAsUser = 65534});
  ASSERT_TRUE(log_->waitFor(loop_, WorkspaceEventKind::applicationLaunched, foreign.pid()));
  TestClient own(server_->name(), {.windowClass = "Own", .x = 200, .y = 10, .stubborn = true});
  ASSERT_TRUE(log_->waitFor(loop_, WorkspaceEventKind::applicationLaunched, own.pid()));

  EXPECT_FALSE(workspace_->terminate(foreign.pid()));
  // The own client gets SIGTERM after the same grace period any request for the other would.
  const pid_t ownPid = own.pid();
  ASSERT_TRUE(workspace_->terminate(ownPid));
  EXPECT_TRUE(waitUntil([&] { return own.hasExited(); }));
  ASSERT_TRUE(log_->waitFor(loop_, WorkspaceEventKind::applicationTerminated, ownPid));
  EXPECT_FALSE(foreign.hasExited());
  EXPECT_TRUE(hasApplication(*workspace_, foreign.pid()));
}

TEST_P(WorkspaceTest, ReportsTheActiveDesktopAndTheDesktopWindowOwner) {
  TestClient desktop(server_->name(),
                     {.windowClass = "Files", .width = 640, .height = 480, .desktop = true});
  ASSERT_TRUE(log_->waitFor(loop_, WorkspaceEventKind::applicationLaunched, desktop.pid()));
  ASSERT_TRUE(waitUntil([&] { return workspace_->desktopWindowOwner().has_value(); }));
  EXPECT_EQ(workspace_->desktopWindowOwner()->processIdentifier, desktop.pid());

  Display* display = XOpenDisplay(server_->name().c_str());
  const Atom current = XInternAtom(display, "_NET_CURRENT_DESKTOP", False);
  if (GetParam()) {
    corvane::testing::requestDesktop(display, 1);
  } else {
    long desktopIndex = 1;
    XChangeProperty(display, DefaultRootWindow(display), current, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&desktopIndex), 1);
  }
  XCloseDisplay(display);
  ASSERT_TRUE(log_->waitFor(loop_, WorkspaceEventKind::activeDesktopChanged));
  EXPECT_EQ(workspace_->activeDesktop(), 1);
}

TEST_P(WorkspaceTest, HidesAndUnhidesUnderAWindowManager) {
  TestClient client(server_->name(), {.windowClass = "Shy", .x = 30, .y = 30});
  ASSERT_TRUE(log_->waitFor(loop_, WorkspaceEventKind::applicationLaunched, client.pid()));
  if (!GetParam()) {
    EXPECT_FALSE(workspace_->hide(client.pid())) << "nobody to iconify it without a manager";
    return;
  }
  ASSERT_TRUE(workspace_->hide(client.pid()));
  ASSERT_TRUE(log_->waitFor(loop_, WorkspaceEventKind::applicationHidden, client.pid()));
  ASSERT_TRUE(workspace_->unhide(client.pid()));
  ASSERT_TRUE(log_->waitFor(loop_, WorkspaceEventKind::applicationUnhidden, client.pid()));
}

// A window can be listed before it says who it is: the name it gives itself later must reach
// the workspace without any other event to prompt a new look.
TEST_P(WorkspaceTest, FollowsAClassSetAfterTheWindowAppeared) {
  TestClient late(server_->name(), {.windowClass = "Late", .x = 40, .y = 40, .withoutClass = true});
  if (GetParam()) {
    // The manager lists it at once, named after its executable.
    ASSERT_TRUE(log_->waitFor(loop_, WorkspaceEventKind::applicationLaunched, late.pid()));
  }
  ASSERT_EQ(late.command("class Late"), late.window());
  ASSERT_TRUE(log_->waitFor(loop_, WorkspaceEventKind::applicationLaunched, late.pid()));
  EXPECT_TRUE(waitUntil([&] {
    for (const auto& application : workspace_->runningApplications()) {
      if (application.processIdentifier == late.pid() && application.bundleIdentifier == "Late") {
        return true;
      }
    }
    return false;
  }));
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, WorkspaceTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Openbox" : "NoWM"; });

}  // namespace
}  // namespace corvane::platform::x11::testing
