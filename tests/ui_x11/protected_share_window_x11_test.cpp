// The output window on a real X server: the test starts its own Xvfb and runs the Qt part in a
// child process on Qt's xcb platform (this executable, re-run with a filter), so the rest of the
// suite keeps the offscreen platform.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "capture/protected_output_surface.h"
#include "share_window/share_window_test_support.h"
#include "support/test_artifacts.h"
#include "ui/design_components.h"
#include "ui/protected_share_canvas.h"
#include "ui/protected_share_window_view.h"
#include "ui/qt_test_support.h"
#include "ui/qt_window_system.h"

// Xlib's macros clash with Qt's names: the X11 headers come after every Qt header.
#include "platform/x11/x11_screens.h"
#include "support/x11/xvfb_server.h"
#include "ui_x11/qt_x11_child.h"

namespace corvane::ui {
namespace {

constexpr const char* const kChildVariable = "CORVANE_UI_X11_CHILD";
constexpr const char* kScreenshotName = "corvane-protected-share-x11.png";
constexpr QRgb kMarker = qRgb(230, 20, 200);  // a block no other part of the screen uses

// A desktop as a filtered capture shows it: a background, two application windows and a marker
// block, in a BGRA buffer like the engine's.
platform::SharedPixelBuffer desktopFrame(int width, int height, int frameNumber) {
  auto buffer = std::make_shared<platform::PixelBuffer>(width, height);
  QImage canvas(buffer->mutableData(), width, height, buffer->bytesPerRow(), QImage::Format_RGB32);
  QPainter painter(&canvas);
  QLinearGradient sky(0, 0, 0, height);
  sky.setColorAt(0, QColor(36, 92, 120));
  sky.setColorAt(1, QColor(18, 40, 64));
  painter.fillRect(canvas.rect(), sky);
  painter.fillRect(QRect(80, 70, 620, 420), QColor(248, 248, 250));
  painter.fillRect(QRect(80, 70, 620, 30), QColor(220, 222, 228));
  painter.setPen(QColor(40, 40, 48));
  QFont font = painter.font();
  font.setPixelSize(18);
  painter.setFont(font);
  for (int line = 0; line < 9; ++line) {
    painter.drawText(110, 140 + line * 36,
                     QStringLiteral("Quarterly plan, section %1: shared safely").arg(line + 1));
  }
  painter.fillRect(QRect(760, 140, 420, 300), QColor(250, 236, 200));
  painter.fillRect(QRect(840, 520, 240, 150), QColor(kMarker));
  font.setPixelSize(28);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::white);
  painter.drawText(QRect(0, height - 90, width, 60), Qt::AlignCenter,
                   QStringLiteral("Filtered frame %1").arg(frameNumber));
  return buffer;
}

bool xwininfoSays(WId window, const char* mapState) {
  const std::string command = "xwininfo -id " + std::to_string(window) + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return false;
  std::string output;
  char chunk[256];
  while (fgets(chunk, sizeof chunk, pipe) != nullptr) output += chunk;
  pclose(pipe);
  return output.find(std::string("Map State: ") + mapState) != std::string::npos;
}

QImage screenshot() {
  return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
      QImage::Format_RGB32);
}

TEST(ProtectedShareWindowOnX11, RunsTheRealWindowOnAPrivateXServer) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(1280, 800);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  std::filesystem::remove(corvane::testing::artifactPath(kScreenshotName));
  EXPECT_TRUE(testing::runQtChildOn(server, "ProtectedShareWindowX11Child.*", kChildVariable))
      << "the window test on " << server.name() << " failed";
}

using ProtectedShareWindowX11Child = testing::QtX11ChildTest<&kChildVariable>;

TEST_F(ProtectedShareWindowX11Child, UnmappedUntilTheFirstFrameThenShowsFramesAndStatus) {
  ASSERT_TRUE(testing::isX11Session());
  auto surface = std::make_shared<capture::ProtectedOutputSurface>();
  auto controller = std::make_shared<share_window::testing::RecordingController>();
  controller->surface = surface;
  auto screens = platform::x11::X11Screens::open(std::getenv("DISPLAY"));
  ASSERT_TRUE(screens.ok()) << screens.message();
  auto windows =
      std::make_shared<QtWindowSystem>(screens.value(), wiring::makeQtWindowStateHints());
  auto manager = std::make_shared<share_window::ProtectedShareWindowManager>(
      windows, makeProtectedShareContentFactory());

  ASSERT_TRUE(manager->beginSession(controller, std::nullopt));
  auto& window = static_cast<QtWindow&>(*manager->window());
  const WId id = window.hostWidget()->winId();
  ASSERT_EQ(window.windowNumber(), static_cast<std::uint32_t>(id));
  // A frame is already waiting on the surface, yet nothing is on the X screen.
  ASSERT_TRUE(surface->update(desktopFrame(1280, 800, 1), 1));
  processFor(150);
  EXPECT_FALSE(testing::isViewableOnX11(id));
  EXPECT_TRUE(xwininfoSays(id, "IsUnMapped"));
  EXPECT_EQ(testing::countPixelsNear(screenshot(), kMarker, 12), 0);

  ASSERT_TRUE(manager->publishLiveFrame({1280, 800}));
  manager->updateProtectionStatus(false, false, false, false, false, false);
  auto* view = static_cast<ProtectedShareWindowView*>(
      std::dynamic_pointer_cast<QtContentView>(window.contentView())->widget());
  ASSERT_TRUE(processUntil([&] { return testing::isViewableOnX11(id); }));
  EXPECT_TRUE(xwininfoSays(id, "IsViewable"));
  surface->update(desktopFrame(1280, 800, 2), 2);
  ASSERT_TRUE(processUntil([&] {
    return view->canvas()->lastPresentedRevision() == surface->revision() &&
           view->statusPill()->title() == "Live";
  }));
  processFor(200);

  const QImage shot = screenshot();
  ASSERT_TRUE(
      shot.save(QString::fromStdString(corvane::testing::artifactPath(kScreenshotName).string())));
  // The marker block, scaled into the window, and the green status line are on the screen.
  EXPECT_GT(testing::countPixelsNear(shot, kMarker, 12), 5000);
  const QRect strip =
      window.hostWidget()->geometry().adjusted(0, 0, 0, -window.hostWidget()->height() + 36);
  EXPECT_GT(testing::countPixelsNear(shot.copy(strip), qRgb(23, 158, 64), 40), 20);
  EXPECT_GT(surface->presentationStats().completedFrames, 0);

  manager->endSession(true);
  ASSERT_TRUE(processUntil([&] { return !testing::isViewableOnX11(id); }));
  processFor(100);
  EXPECT_EQ(testing::countPixelsNear(screenshot(), kMarker, 12), 0);
}

}  // namespace
}  // namespace corvane::ui
