#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/sim_desktop.h"
#include "runtime/virtual_run_loop.h"

namespace corvane::platform::sim {
namespace {

const char* kindName(WorkspaceEventKind kind) {
  switch (kind) {
    case WorkspaceEventKind::applicationLaunched:
      return "launched";
    case WorkspaceEventKind::applicationTerminated:
      return "terminated";
    case WorkspaceEventKind::applicationActivated:
      return "activated";
    case WorkspaceEventKind::applicationHidden:
      return "hidden";
    case WorkspaceEventKind::applicationUnhidden:
      return "unhidden";
    case WorkspaceEventKind::activeDesktopChanged:
      return "desktop";
  }
  return "?";
}

// Records every workspace event and screen change of the desktop with what it carried, checking
// each arrives on the main actor.
class EventLog {
 public:
  EventLog(runtime::VirtualRunLoop& loop, SimDesktop& desktop) {
    subscriptions_.push_back(desktop.observe([this, &loop](const WorkspaceEvent& event) {
      EXPECT_TRUE(loop.isCurrent());
      std::string entry = kindName(event.kind);
      if (event.application) entry += " " + event.application->bundleIdentifier;
      entries.push_back(entry + " on " + std::to_string(event.desktop));
    }));
    subscriptions_.push_back(desktop.observeChanges([this, &loop] {
      EXPECT_TRUE(loop.isCurrent());
      entries.push_back("screens");
    }));
  }
  std::vector<std::string> entries;

 private:
  std::vector<runtime::Subscription> subscriptions_;
};

class SimWorkspaceTest : public ::testing::Test {
 protected:
  runtime::VirtualRunLoop loop;
  std::shared_ptr<SimDesktop> desktop = SimDesktop::make();
  EventLog log{loop, *desktop};
};

TEST_F(SimWorkspaceTest, EventsArriveOnTheMainActorAfterTheChange) {
  const auto pid = desktop->launchApplication({"org.example.Editor", "Editor"}).value();
  EXPECT_TRUE(log.entries.empty());  // delivered on the next turn, like the real desktop's events
  loop.runUntilIdle();
  EXPECT_EQ(log.entries, std::vector<std::string>{"launched org.example.Editor on 0"});
  log.entries.clear();

  ASSERT_TRUE(desktop->activate(pid));
  ASSERT_TRUE(desktop->activate(pid));  // already frontmost: nothing to announce
  ASSERT_TRUE(desktop->hide(pid));
  ASSERT_TRUE(desktop->unhide(pid));
  desktop->switchDesktop(2);
  desktop->switchDesktop(2);  // no change, no notification
  ASSERT_TRUE(desktop->addDisplay(SimDesktop::makeDisplay(1, Rect{{0, 0}, {64, 36}})));
  ASSERT_TRUE(desktop->quitApplication(pid));
  loop.runUntilIdle();
  EXPECT_EQ(log.entries, (std::vector<std::string>{
                             "activated org.example.Editor on 0",
                             "hidden org.example.Editor on 0",
                             "unhidden org.example.Editor on 0",
                             "desktop on 2",
                             "screens",
                             "terminated org.example.Editor on 2",
                         }));
  EXPECT_EQ(desktop->activeDesktop(), 2);
}

TEST_F(SimWorkspaceTest, FrontmostFollowsActivationHidingAndQuitting) {
  ASSERT_TRUE(desktop->addDisplay(SimDesktop::makeDisplay(1, Rect{{0, 0}, {64, 36}})));
  const auto a = desktop->launchApplication({"org.example.A", "A"}).value();
  const auto b = desktop->launchApplication({"org.example.B", "B"}).value();
  ASSERT_TRUE(desktop->addWindow(a, SimWindowSpec{Rect{{0, 0}, {10, 10}}}).ok());
  ASSERT_TRUE(desktop->addWindow(b, SimWindowSpec{Rect{{0, 0}, {10, 10}}}).ok());
  EXPECT_FALSE(desktop->frontmostApplication());
  ASSERT_TRUE(desktop->activate(a));
  EXPECT_EQ(desktop->frontmostApplication()->processIdentifier, a);
  ASSERT_TRUE(desktop->hide(a));  // the owner of the topmost visible window takes over
  EXPECT_EQ(desktop->frontmostApplication()->processIdentifier, b);
  ASSERT_TRUE(desktop->activate(a));  // activating a hidden application shows it
  EXPECT_FALSE(desktop->application(a)->isHidden);
  ASSERT_TRUE(desktop->quitApplication(a));
  EXPECT_EQ(desktop->frontmostApplication()->processIdentifier, b);
  EXPECT_FALSE(desktop->activate(a));
  EXPECT_EQ(desktop->runningApplications().size(), 1u);
  loop.runUntilIdle();
  EXPECT_EQ(log.entries.back(), "activated org.example.B on 0");
}

TEST_F(SimWorkspaceTest, TerminateAsksAndAStubbornApplicationStays) {
  SimApplicationSpec stubborn{"org.example.Stubborn", "Stubborn"};
  stubborn.refusesToQuit = true;
  const auto s = desktop->launchApplication(stubborn).value();
  const auto q = desktop->launchApplication({"org.example.Quits", "Quits"}).value();
  EXPECT_TRUE(desktop->terminate(s));
  EXPECT_TRUE(desktop->terminate(q));
  EXPECT_TRUE(desktop->application(s));
  EXPECT_FALSE(desktop->application(q));
  EXPECT_FALSE(desktop->terminate(q));
  EXPECT_TRUE(desktop->applicationWithBundleIdentifier("org.example.Stubborn"));
}

TEST_F(SimWorkspaceTest, ProcessIdentifiersAreFreshOrAsAsked) {
  SimApplicationSpec fixed{"org.example.Fixed", "Fixed"};
  fixed.processIdentifier = 4001;
  EXPECT_EQ(desktop->launchApplication(fixed).value(), 4001);
  const auto fresh = desktop->launchApplication({"org.example.Fresh", "Fresh"}).value();
  EXPECT_NE(fresh, 4001);
  EXPECT_FALSE(desktop->launchApplication(fixed).ok());
  EXPECT_FALSE(desktop->launchApplication({"", "No id"}).ok());
}

TEST_F(SimWorkspaceTest, DisplaysAreAddedMovedAndRemoved) {
  ASSERT_TRUE(desktop->addDisplay(SimDesktop::makeDisplay(1, Rect{{0, 0}, {64, 36}}, 1, true)));
  ASSERT_TRUE(desktop->addDisplay(SimDesktop::makeDisplay(2, Rect{{64, 0}, {32, 32}}, 2, true)));
  EXPECT_EQ(desktop->mainScreen()->displayID, 2u);  // only one main display
  EXPECT_EQ(desktop->screen(1)->visibleFrame, (Rect{{0, 24}, {64, 12}}));
  ASSERT_TRUE(desktop->updateDisplay(SimDesktop::makeDisplay(2, Rect{{64, 0}, {48, 32}})));
  EXPECT_EQ(desktop->screen(2)->frame.width(), 48);
  ASSERT_TRUE(desktop->removeDisplay(2));
  EXPECT_FALSE(desktop->removeDisplay(2).ok());
  EXPECT_EQ(desktop->screens().size(), 1u);
  loop.runUntilIdle();
  EXPECT_EQ(log.entries.size(), 4u);
}

TEST_F(SimWorkspaceTest, PointerIdlenessAndPermissionsFollowTheScript) {
  ASSERT_TRUE(desktop->addDisplay(SimDesktop::makeDisplay(1, Rect{{0, 0}, {64, 36}})));
  loop.advance(5);
  EXPECT_DOUBLE_EQ(desktop->secondsSinceLastInput(), 5);
  desktop->moveCursor(Point{3, 4});
  EXPECT_EQ(desktop->secondsSinceLastInput(), 0);
  EXPECT_EQ(desktop->cursorPosition(), (Point{3, 4}));
  desktop->setSecondsSinceLastInput(120);
  loop.advance(1);
  EXPECT_DOUBLE_EQ(desktop->secondsSinceLastInput(), 121);

  const auto serial = desktop->currentCursorImage().serial;
  desktop->setCursorImage(nullptr, Point{});
  EXPECT_FALSE(desktop->currentCursorImage().image);
  EXPECT_NE(desktop->currentCursorImage().serial, serial);

  EXPECT_TRUE(desktop->screenCapturePreflight());
  desktop->setScreenCaptureAllowed(false);
  EXPECT_FALSE(desktop->requestScreenCapture());
  EXPECT_EQ(desktop->screenCaptureDenialReason(), std::string(SimDesktop::kDefaultDenialReason));
  desktop->setGrantsScreenCaptureOnRequest(true);
  EXPECT_TRUE(desktop->requestScreenCapture());
  EXPECT_FALSE(desktop->screenCaptureDenialReason());
  EXPECT_EQ(desktop->screenCaptureRequestCount(), 2);
  desktop->setAccessibilityTrusted(false);
  EXPECT_FALSE(desktop->accessibilityTrusted());

  EXPECT_TRUE(desktop->openURL("https://example.org/help"));
  desktop->setOpensURLs(false);
  EXPECT_FALSE(desktop->openURL("https://example.org/other"));
  EXPECT_EQ(desktop->openedURLs(), std::vector<std::string>{"https://example.org/help"});
}

}  // namespace
}  // namespace corvane::platform::sim
