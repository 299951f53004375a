#include <gtest/gtest.h>

#include <QTest>
#include <QToolButton>

#include "capture/protected_output_surface.h"
#include "qt_test_support.h"
#include "share_window/share_window_test_support.h"
#include "ui/design_components.h"
#include "ui/protected_share_canvas.h"
#include "ui/protected_share_window_view.h"
#include "ui/qt_window_system.h"

namespace corvane::ui {
namespace {

using share_window::ProtectedShareKeyboardCommand;
using share_window::ProtectedShareWindowManager;

platform::SharedPixelBuffer solidFrame(int width, int height, std::uint32_t argb) {
  auto buffer = std::make_shared<platform::PixelBuffer>(width, height);
  buffer->fill(argb);
  return buffer;
}

class ProtectedShareWindowViewTest : public ::testing::Test, public testing::QtRuntimeFixture {
 protected:
  ProtectedShareWindowViewTest() {
    controller->surface = surface;
    manager =
        std::make_shared<ProtectedShareWindowManager>(windows, makeProtectedShareContentFactory());
  }

  ProtectedShareWindowView& view() {
    auto content = std::dynamic_pointer_cast<QtContentView>(manager->window()->contentView());
    return *static_cast<ProtectedShareWindowView*>(content->widget());
  }
  QWidget* host() { return static_cast<QtWindow&>(*manager->window()).hostWidget(); }
  QImage grabCanvas() { return view().canvas()->grab().toImage(); }

  std::shared_ptr<capture::ProtectedOutputSurface> surface =
      std::make_shared<capture::ProtectedOutputSurface>();
  std::shared_ptr<share_window::testing::RecordingController> controller =
      std::make_shared<share_window::testing::RecordingController>();
  std::shared_ptr<QtWindowSystem> windows =
      std::make_shared<QtWindowSystem>(testing::offscreenDesktop(), nullptr);
  std::shared_ptr<ProtectedShareWindowManager> manager;
};

TEST_F(ProtectedShareWindowViewTest, DrawsNoFrameBeforeItIsLiveThenEverySnapshot) {
  ASSERT_TRUE(manager->beginSession(controller, std::nullopt));
  EXPECT_FALSE(host()->isVisible());
  // A frame reaches the surface before the window is live: nothing draws it.
  ASSERT_TRUE(surface->update(solidFrame(320, 180, 0xFF2060C0), 1));
  processFor(50);
  EXPECT_EQ(view().canvas()->presentedFrames(), 0);
  EXPECT_FALSE(view().canvas()->drawsOutput());
  EXPECT_EQ(testing::countPixelsNear(grabCanvas(), qRgb(0x20, 0x60, 0xC0), 6), 0);

  ASSERT_TRUE(manager->publishLiveFrame({320, 180}));
  EXPECT_TRUE(host()->isVisible());
  ASSERT_TRUE(processUntil([&] { return view().canvas()->drawsOutput(); }));
  surface->update(solidFrame(320, 180, 0xFF2060C0), 2);
  ASSERT_TRUE(processUntil(
      [&] { return view().canvas()->lastPresentedRevision() == surface->revision(); }));
  EXPECT_GE(surface->presentationStats().completedFrames, 1);
  EXPECT_GT(testing::countPixelsNear(grabCanvas(), qRgb(0x20, 0x60, 0xC0), 6), 1000);
  EXPECT_EQ(view().statusPill()->title(), "Live");

  // The next snapshot replaces it.
  surface->update(solidFrame(320, 180, 0xFFD04010), 3);
  ASSERT_TRUE(processUntil(
      [&] { return view().canvas()->lastPresentedRevision() == surface->revision(); }));
  const QImage next = grabCanvas();
  EXPECT_GT(testing::countPixelsNear(next, qRgb(0xD0, 0x40, 0x10), 6), 1000);
  EXPECT_EQ(testing::countPixelsNear(next, qRgb(0x20, 0x60, 0xC0), 6), 0);
  EXPECT_FALSE(surface->presentationStats().pendingPresentationSince.has_value());

  manager->endSession(true);
  EXPECT_FALSE(host()->isVisible());
  ASSERT_TRUE(processUntil([&] { return !view().canvas()->drawsOutput(); }));
  EXPECT_EQ(testing::countPixelsNear(grabCanvas(), qRgb(0xD0, 0x40, 0x10), 6), 0);
}

TEST_F(ProtectedShareWindowViewTest, DrawsTheEnginesCursorOverTheFrame) {
  ASSERT_TRUE(manager->beginSession(controller, std::nullopt));
  ASSERT_TRUE(manager->publishLiveFrame({320, 180}));
  auto cursor = solidFrame(16, 16, 0xFF00FF00);
  surface->configureCursorImage(cursor, {16, 16}, {0, 0});
  surface->updateCursor(platform::Point{0.5, 0.5}, platform::Size{320, 180});
  surface->update(solidFrame(320, 180, 0xFF101010), 5);
  ASSERT_TRUE(processUntil(
      [&] { return view().canvas()->lastPresentedRevision() == surface->revision(); }));
  EXPECT_GT(testing::countPixelsNear(grabCanvas(), qRgb(0, 255, 0), 10), 20);
}

TEST_F(ProtectedShareWindowViewTest, ControlsAndShortcutsReachTheController) {
  ASSERT_TRUE(manager->beginSession(controller, std::nullopt));
  ASSERT_TRUE(manager->publishLiveFrame({320, 180}));
  ASSERT_TRUE(processUntil([&] { return view().hideButton()->isEnabled(); }));
  view().hideButton()->click();
  view().pauseButton()->click();
  view().fitButton()->click();
  view().actualSizeButton()->click();
  view().primaryButton()->click();
  EXPECT_EQ(controller->hideRequests, 1);
  EXPECT_EQ(controller->pauseToggles, 1);
  EXPECT_EQ(controller->stops, 1);
  EXPECT_EQ(controller->commands,
            (std::vector<ProtectedShareKeyboardCommand>{
                ProtectedShareKeyboardCommand::fit, ProtectedShareKeyboardCommand::actualSize}));
  controller->commands.clear();

  host()->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(host()));
  const auto ctrlAlt = Qt::ControlModifier | Qt::AltModifier;
  QTest::keyClick(host(), Qt::Key_P, ctrlAlt);
  QTest::keyClick(host(), Qt::Key_Space, ctrlAlt);
  QTest::keyClick(host(), Qt::Key_S, ctrlAlt);
  QTest::keyClick(host(), Qt::Key_M, ctrlAlt);
  QTest::keyClick(host(), Qt::Key_9, Qt::ControlModifier);
  QTest::keyClick(host(), Qt::Key_0, Qt::ControlModifier);
  EXPECT_EQ(controller->commands,
            (std::vector<ProtectedShareKeyboardCommand>{
                ProtectedShareKeyboardCommand::togglePreviewVisibility,
                ProtectedShareKeyboardCommand::togglePause, ProtectedShareKeyboardCommand::stop,
                ProtectedShareKeyboardCommand::movePreview, ProtectedShareKeyboardCommand::fit,
                ProtectedShareKeyboardCommand::actualSize}));
}

TEST_F(ProtectedShareWindowViewTest, PreviewOffersStartAndShowsThePlaceholder) {
  auto window = manager->ensureWindow(controller);
  manager->configurePreview(*window);
  window->makeKeyAndOrderFront();
  ASSERT_TRUE(
      processUntil([&] { return view().primaryButton()->text() == "Start Protected Share"; }));
  EXPECT_TRUE(host()->isVisible());
  EXPECT_FALSE(view().fitButton()->isVisible());
  view().primaryButton()->click();
  EXPECT_EQ(controller->toggles, 1);
  EXPECT_EQ(view().statusPill()->title(), "Protected Share off");
}

}  // namespace
}  // namespace corvane::ui
