// The source masks on a private X server with openbox: the overlay panel is mapped above the
// presenter's application on every desktop without taking the keyboard, shaped to its masks, and
// appears in a real X11 capture that excepts its window (where the masks verify) and in none that
// does not. The Qt part runs in a child process on Qt's xcb platform.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>

#include "support/test_artifacts.h"
#include "ui/qt_test_support.h"
#include "ui/qt_window_system.h"
#include "ui/verification/source_redaction_overlay_view.h"
#include "verification/source_overlay_capture_verifier.h"
#include "verification/source_redaction_overlay_manager.h"

// Xlib's macros clash with Qt's names: the X11 headers come after every Qt header.
#include <X11/Xlib.h>

#include "platform/x11/x11_desktop.h"
#include "support/x11/test_client.h"
#include "support/x11/xvfb_server.h"
#include "ui_x11/qt_x11_child.h"

namespace corvane::ui {
namespace {

constexpr const char* const kChildVariable = "CORVANE_UI_MASKS_CHILD";
constexpr const char* kEditorVariable = "CORVANE_UI_MASKS_EDITOR_WINDOW";
// A dark editor theme: it matches the mask fill, so only the masks' locks can tell them apart.
constexpr std::uint32_t kEditorColour = 0x1F2221;

TEST(SourceMasksOnX11, DrawsMasksThatTheCaptureKeepsOnlyWhenExcepted) {
  if (std::getenv(kChildVariable) != nullptr) GTEST_SKIP() << "inside the child";
  corvane::testing::XvfbServer server(1280, 800);
  ASSERT_TRUE(server.ok()) << "Xvfb did not start";
  ASSERT_TRUE(server.startWindowManager());
  corvane::testing::TestClient editor(server.name(), {.windowClass = "DarkEditor",
                                                      .colour = kEditorColour,
                                                      .x = 20,
                                                      .y = 20,
                                                      .width = 900,
                                                      .height = 600});
  ASSERT_NE(editor.window(), 0u);
  EXPECT_TRUE(testing::runQtChildOn(
      server, "SourceMasksX11Child.*", kChildVariable,
      {std::string(kEditorVariable) + "=" + std::to_string(editor.window())}));
}

Window activeWindow(Display* display) {
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  Window active = None;
  if (XGetWindowProperty(display, DefaultRootWindow(display),
                         XInternAtom(display, "_NET_ACTIVE_WINDOW", False), 0, 1, False,
                         AnyPropertyType, &type, &format, &count, &after, &data) == Success &&
      data != nullptr && count == 1) {
    active = *reinterpret_cast<Window*>(data);
  }
  if (data != nullptr) XFree(data);
  return active;
}

model::ProtectedRedaction mask(double x, double y, double w, double h) {
  model::ProtectedRedaction r;
  r.normalizedFrame = {{x / 1280, y / 800}, {w / 1280, h / 800}};
  r.scope = model::ProtectedRedactionScope::sourceOverlay;
  return r;
}

// What the check saw, with the capture left as a picture.
std::string describe(const platform::SharedPixelBuffer& frame,
                     const verification::SourceOverlaySnapshot& snapshot) {
  if (!frame) return "no capture";
  QImage(frame->data(), frame->width(), frame->height(), frame->bytesPerRow(), QImage::Format_RGB32)
      .save(
          QString::fromStdString(corvane::testing::artifactPath("source-masks-x11.png").string()));
  const auto result = verification::SourceOverlayCaptureVerifier::verify(frame.get(), snapshot);
  return "mask " + std::to_string(result.failedRedactionIndex.value_or(-1)) + ", " +
         std::to_string(result.matchingSamples) + " of " + std::to_string(result.sampledPoints);
}

using SourceMasksX11Child = testing::QtX11ChildTest<&kChildVariable>;

TEST_F(SourceMasksX11Child, ShapedClickThroughPanelIsCapturedWhenExcepted) {
  ASSERT_TRUE(testing::isX11Session());
  const std::string name = std::getenv("DISPLAY");
  const Window editor = std::stoul(std::getenv(kEditorVariable));
  Display* probe = XOpenDisplay(name.c_str());
  ASSERT_NE(probe, nullptr);
  ASSERT_TRUE(processUntil([&] { return activeWindow(probe) == editor; }));

  auto desktop = platform::x11::openDesktop(name, getpid());
  ASSERT_TRUE(desktop.ok()) << desktop.message();
  const platform::Desktop& services = desktop.value();
  auto windows =
      std::make_shared<QtWindowSystem>(services.screens, wiring::makeQtWindowStateHints());
  verification::SourceRedactionOverlayManager overlay(windows,
                                                      makeSourceRedactionOverlayContentFactory());
  const auto display = windows->mainScreen();
  ASSERT_TRUE(display);

  // A 2-point-high line of text, a label-sized key and a mask running off the screen's edge.
  const auto snapshot =
      overlay.show(display->displayID,
                   {mask(100, 100, 380, 90), mask(120, 300, 180, 2), mask(1240, 500, 120, 30)});
  ASSERT_EQ(snapshot.redactions.size(), 3u);
  auto& panel = static_cast<QtWindow&>(*overlay.panel());
  const WId panelId = panel.hostWidget()->winId();
  ASSERT_TRUE(processUntil([&] {
    const auto states = testing::netWmStatesOnX11(panelId);
    return testing::isViewableOnX11(panelId) &&
           std::find(states.begin(), states.end(), "_NET_WM_STATE_ABOVE") != states.end() &&
           testing::desktopOnX11(panelId) == 0xFFFFFFFFul;
  }));
  EXPECT_EQ(overlay.windowNumber(), static_cast<std::uint32_t>(panelId));
  processFor(400);
  EXPECT_EQ(activeWindow(probe), editor) << "the overlay took the keyboard";

  auto captureWith = [&](std::set<std::uint32_t> excepting) {
    platform::ContentFilter filter;
    filter.displayID = display->displayID;
    filter.exceptingWindowIDs = std::move(excepting);
    std::mutex mutex;
    std::optional<runtime::Result<platform::SharedPixelBuffer>> result;
    services.capture->captureImage(filter, {}, [&](runtime::Result<platform::SharedPixelBuffer> r) {
      std::lock_guard lock(mutex);
      result = std::move(r);
    });
    EXPECT_TRUE(processUntil([&] {
      std::lock_guard lock(mutex);
      return result.has_value();
    }));
    std::lock_guard lock(mutex);
    return result && result->ok() ? result->value() : nullptr;
  };

  // Excepted, the masks are in the capture and verify, the 2-point line and the edge mask too.
  platform::SharedPixelBuffer kept;
  ASSERT_TRUE(processUntil(
      [&] {
        kept = captureWith({overlay.windowNumber()});
        return kept &&
               verification::SourceOverlayCaptureVerifier::verify(kept.get(), snapshot).isVerified;
      },
      10))
      << "the masks never verified in the capture: " << describe(kept, snapshot);
  describe(kept, snapshot);  // leaves the capture as a picture
  // Outside its shape the panel covers nothing: the editor shows between the masks.
  const std::uint32_t between = kept->pixel(600, 250) & 0xFFFFFF;
  EXPECT_EQ(between, kEditorColour);

  // Without the exception the capture leaves the panel out, like every window of this process.
  const auto without = captureWith({});
  ASSERT_TRUE(without);
  const auto missing = verification::SourceOverlayCaptureVerifier::verify(without.get(), snapshot);
  EXPECT_FALSE(missing.isVerified);
  EXPECT_EQ(missing.failure,
            verification::SourceOverlayVerificationResult::Failure::maskBodyMismatch);

  overlay.hide();
  ASSERT_TRUE(processUntil([&] { return overlay.panel() == nullptr; }));
  XCloseDisplay(probe);
}

}  // namespace
}  // namespace corvane::ui
