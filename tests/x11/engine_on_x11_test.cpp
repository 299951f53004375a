#include <gtest/gtest.h>

#include <thread>

#include "capture/protected_share_engine.h"
#include "platform/x11/x11_desktop.h"
#include "runtime/virtual_run_loop.h"
#include "x11/capture_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

// Moves the virtual clock along with real time, so the engine's time limits mean what they say
// while the X backend's threads work in real time.
template <class Condition>
bool driveUntil(runtime::VirtualRunLoop& loop, Condition condition, double seconds = 8.0) {
  return waitUntil(
      [&] {
        loop.advance(0.005);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return condition();
      },
      seconds);
}

TEST(EngineOnX11Test, ASessionPublishesFramesWithoutTheExcludedClient) {
  runtime::VirtualRunLoop loop;
  XvfbServer server(640, 480);
  ASSERT_TRUE(server.ok());
  setRootBackground(server.name(), kGreen);
  TestClient beneath(
      server.name(),
      {.windowClass = "Beneath", .colour = kRed, .x = 40, .y = 40, .width = 400, .height = 300});
  TestClient secret(
      server.name(),
      {.windowClass = "Secret", .colour = kBlue, .x = 200, .y = 120, .width = 300, .height = 250});
  ASSERT_NE(secret.window(), 0u);

  auto desktop = openDesktop(server.name(), static_cast<std::int32_t>(getpid()), plainIdentities());
  ASSERT_TRUE(desktop.ok()) << desktop.message();
  capture::ProtectedShareEngineServices services;
  services.desktop = desktop.value();
  services.ownBundleIdentifier = "org.example.Corvane";
  services.ownProcessIdentifier = static_cast<std::int32_t>(getpid());
  auto engine = capture::ProtectedShareEngine::make(services);

  auto started = runtime::spawn(engine->start({"Secret"}, false, {}, std::nullopt));
  ASSERT_TRUE(driveUntil(loop, [&] { return started.isDone(); }));
  ASSERT_TRUE(model::isActive(engine->phase.value())) << engine->statusMessage.value();

  SharedPixelBuffer shown;
  ASSERT_TRUE(driveUntil(loop, [&] {
    auto snapshot = engine->outputSurface()->snapshot();
    if (!snapshot || !snapshot->image) return false;
    shown = snapshot->image;
    return countPixels(*shown, kRed) > 0;
  })) << engine->statusMessage.value();
  EXPECT_TRUE(engine->renderedFrame.value().has_value());
  EXPECT_EQ(countPixels(*shown, kBlue), 0u);
  EXPECT_GT(countPixels(*shown, kGreen), 0u) << "the desktop shows where the secret was";

  auto stopped = runtime::spawn(engine->stop());
  ASSERT_TRUE(driveUntil(loop, [&] { return stopped.isDone(); }));
  EXPECT_EQ(engine->phase.value(), model::ProtectedSharePhase::idle);
  engine.reset();
  loop.runUntilIdle();
}

}  // namespace
}  // namespace corvane::platform::x11::testing
