#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/x11/frame_composer.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

using PrivatePixelsTest = CaptureOnServer;

// Names `id` as the desktop background, whatever it is, as any client may.
void nameRootBackground(const std::string& displayName, unsigned long id) {
  Display* display = XOpenDisplay(displayName.c_str());
  ASSERT_NE(display, nullptr);
  const Atom atom = XInternAtom(display, "_XROOTPMAP_ID", False);
  XChangeProperty(display, DefaultRootWindow(display), atom, XA_PIXMAP, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&id), 1);
  XCloseDisplay(display);
}

TEST_P(PrivatePixelsTest, TheDesktopBackgroundIsNeitherAWindowNorAPixmapOfAnExcludedClient) {
  auto beneath = client(
      {.windowClass = "Beneath", .colour = kRed, .x = 40, .y = 40, .width = 200, .height = 150});
  auto secret = client(
      {.windowClass = "Secret", .colour = kBlue, .x = 450, .y = 300, .width = 250, .height = 200});
  SampleRecorder recorder;
  auto capture = stream(recorder, excluding({"Secret"}));
  ASSERT_TRUE(startStream(*capture).ok());
  auto desktopIs = [](std::uint32_t argb) {
    return [argb](const PixelBuffer& f) { return f.pixel(5, kHeight - 5) == argb; };
  };
  ASSERT_TRUE(recorder.waitForFrame(0, desktopIs(opaque(kGreen))));

  // Another client names the secret window as the background: its pixels would tile the desktop.
  std::size_t before = recorder.frameCount();
  nameRootBackground(display(), secret->window());
  ASSERT_TRUE(recorder.waitForFrame(
      before, [](const PixelBuffer& f) { return f.pixel(5, kHeight - 5) != opaque(kGreen); }));
  EXPECT_EQ(recorder.latest()->pixel(5, kHeight - 5), kDesktopFallbackColour);

  // The excluded client names a pixmap of its own.
  before = recorder.frameCount();
  ASSERT_NE(secret->command("rootpixmap 0000FF"), 0u);
  ASSERT_TRUE(recorder.waitForMoreFrames(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));

  // A pixmap of a client that is not left out shows again.
  before = recorder.frameCount();
  setRootBackground(display(), kYellow);
  EXPECT_TRUE(recorder.waitForFrame(before, desktopIs(opaque(kYellow))));
  for (const auto& frame : recorder.framesSince(0)) EXPECT_EQ(countPixels(*frame, kBlue), 0u);
  EXPECT_TRUE(stopStream(*capture).ok());
}

INSTANTIATE_TEST_SUITE_P(WindowManagers, PrivatePixelsTest, ::testing::Values(false, true), nameOf);

}  // namespace
}  // namespace corvane::platform::x11::testing
