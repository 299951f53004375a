#include <gtest/gtest.h>

#include <cmath>

#include "platform/sim/sim_desktop.h"
#include "platform/sim/sim_window_system.h"
#include "runtime/virtual_run_loop.h"
#include "verification/sim_overlay_content.h"
#include "verification/source_overlay_capture_verifier.h"
#include "verification/source_redaction_overlay_manager.h"

namespace corvane::verification {
namespace {

using platform::CollectionBehavior;
using platform::PixelBuffer;
using platform::Rect;
using platform::Size;
using platform::sim::SimWindow;
using testing::FakeContent;

platform::Screen display(std::uint32_t id, Rect frame) {
  platform::Screen s;
  s.displayID = id;
  s.frame = frame;
  s.visibleFrame = frame;
  s.isMain = id == 1;
  return s;
}

model::ProtectedRedaction mask(Rect frame) {
  model::ProtectedRedaction r;
  r.normalizedFrame = frame;
  r.scope = model::ProtectedRedactionScope::sourceOverlay;
  return r;
}

class SourceRedactionOverlayManagerTest : public ::testing::Test {
 protected:
  SourceRedactionOverlayManagerTest() {
    (void)desktop->addDisplay(display(1, {{0, 0}, {1280, 800}}));
    (void)desktop->addDisplay(display(2, {{1280, 0}, {1024, 768}}));
    windows->showWindowsOn(desktop);
  }

  SimWindow& panel() { return static_cast<SimWindow&>(*overlay.panel()); }
  platform::SharedPixelBuffer capture(std::uint32_t displayID, std::set<std::uint32_t> excepting) {
    platform::ContentFilter filter;
    filter.displayID = displayID;
    filter.exceptingWindowIDs = std::move(excepting);
    auto frame = desktop->composeNow(filter, 0, 0);
    return frame ? frame.value() : nullptr;
  }

  runtime::VirtualRunLoop loop;
  std::shared_ptr<platform::sim::SimDesktop> desktop = platform::sim::SimDesktop::make();
  std::shared_ptr<platform::sim::SimWindowSystem> windows =
      std::make_shared<platform::sim::SimWindowSystem>(desktop);
  std::vector<std::shared_ptr<FakeContent>> contents;
  SourceRedactionOverlayManager overlay{windows, [this] {
                                          contents.push_back(std::make_shared<FakeContent>());
                                          return contents.back();
                                        }};
};

TEST_F(SourceRedactionOverlayManagerTest, HideIsSafeWhenNothingIsShownAndAlwaysRaisesTheRevision) {
  overlay.hide();
  EXPECT_EQ(overlay.revision(), 1u);
  EXPECT_FALSE(overlay.panel());
  EXPECT_TRUE(overlay.redactions().empty());
  EXPECT_FALSE(overlay.protectedApplicationPID());
  EXPECT_EQ(overlay.windowNumber(), 0u);
  overlay.hide();
  EXPECT_EQ(overlay.revision(), 2u);
  EXPECT_TRUE(contents.empty());
}

TEST_F(SourceRedactionOverlayManagerTest, ShowsAClickThroughShapedPanelAndReportsTheShownSet) {
  const auto near = mask({{0.1, 0.1}, {0.2, 0.05}});
  const auto offDisplay = mask({{1.5, 0.5}, {0.1, 0.1}});
  const auto snapshot = overlay.show(2, {near, offDisplay}, 4242);

  auto& window = panel();
  EXPECT_EQ(window.frame(), (Rect{{1280, 0}, {1024, 768}}));
  EXPECT_EQ(window.level(), platform::WindowLevel::floating);
  EXPECT_TRUE(window.ignoresMouseEvents());
  EXPECT_TRUE(platform::hasFlag(window.collectionBehavior(), CollectionBehavior::canJoinAllSpaces));
  EXPECT_TRUE(platform::hasFlag(window.collectionBehavior(), CollectionBehavior::ignoresCycle));
  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(window.isKey());
  EXPECT_EQ(overlay.windowNumber(), window.windowNumber());
  EXPECT_NE(overlay.windowNumber(), 0u);
  EXPECT_EQ(overlay.protectedApplicationPID(), 4242);

  // The mask wholly off the display is neither drawn nor expected in captures.
  EXPECT_EQ(snapshot.revision, 1u);
  ASSERT_EQ(snapshot.redactions.size(), 1u);
  EXPECT_EQ(snapshot.redactions[0].id, near.id);
  ASSERT_EQ(snapshot.placements.size(), 1u);
  ASSERT_TRUE(window.shape());
  ASSERT_EQ(window.shape()->size(), 1u);
  EXPECT_EQ(window.shape()->front(), overlay.layout().masks[0].rect);
  EXPECT_EQ(contents.back()->view->layout, overlay.layout());

  // The same set again changes nothing; another set raises the revision in the same panel.
  SimWindow* first = &window;
  EXPECT_EQ(overlay.show(2, {near, offDisplay}).revision, 1u);
  EXPECT_EQ(overlay.show(2, {near, mask({{0.5, 0.5}, {0.1, 0.1}})}).revision, 2u);
  EXPECT_EQ(&panel(), first);
  // Another display rebuilds the panel there.
  EXPECT_EQ(overlay.show(1, {near}).revision, 4u);
  EXPECT_EQ(panel().frame(), (Rect{{0, 0}, {1280, 800}}));
  EXPECT_TRUE(first->isClosed());

  // Nothing to draw, or a display that is gone, hides.
  const auto none = overlay.show(1, {});
  EXPECT_FALSE(overlay.panel());
  EXPECT_TRUE(none.redactions.empty());
  EXPECT_EQ(none.revision, 5u);
  overlay.show(1, {near});
  EXPECT_TRUE(overlay.show(9, {near}).redactions.empty());
  EXPECT_FALSE(overlay.panel());
}

// The headless loop: the masks the manager draws appear in a capture that excepts the panel and
// verify there, a capture that does not except it shows no mask, and a snapshot taken before a
// hide no longer verifies after it.
TEST_F(SourceRedactionOverlayManagerTest, DrawnMasksVerifyInCapturesThatKeepThePanel) {
  const auto snapshot =
      overlay.show(1, {mask({{0.1, 0.1}, {0.3, 0.1}}), mask({{0.5, 0.6}, {0.12, 0.03}}),
                       mask({{0.8, 0.3}, {0.001, 0.01}}), mask({{0.97, 0.95}, {0.1, 0.1}})});
  ASSERT_EQ(snapshot.redactions.size(), 4u);
  for (const auto& placement : snapshot.placements) EXPECT_TRUE(placement.normalizedAccentPoint);

  auto kept = capture(1, {overlay.windowNumber()});
  ASSERT_TRUE(kept);
  EXPECT_EQ(SourceOverlayCaptureVerifier::verify(kept.get(), snapshot),
            SourceOverlayVerificationResult::verified());

  auto without = capture(1, {});
  const auto missing = SourceOverlayCaptureVerifier::verify(without.get(), snapshot);
  EXPECT_EQ(missing.failure, SourceOverlayVerificationResult::Failure::maskBodyMismatch);
  EXPECT_EQ(missing.failedRedactionIndex, 0);

  const std::uint32_t panelNumber = overlay.windowNumber();
  overlay.hide();
  auto after = capture(1, {panelNumber});
  EXPECT_FALSE(SourceOverlayCaptureVerifier::verify(after.get(), snapshot).isVerified);
  EXPECT_TRUE(SourceOverlayCaptureVerifier::verify(after.get(), overlay.snapshot()).isVerified);
}

}  // namespace
}  // namespace corvane::verification
