#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "runtime/virtual_run_loop.h"
#include "x11/capture_fixture.h"
#include "x11/engine_fixture.h"

namespace corvane::platform::x11::testing {
namespace {

TEST(EngineOnX11Test, ASessionPublishesFramesWithoutTheExcludedClient) {
  runtime::VirtualRunLoop loop;
  XvfbServer server(640, 480);
  ASSERT_TRUE(server.ok());
  setRootBackground(server.name(), kGreen);
  SecretOverPublicWindow scene(server.name(), "Beneath");
  ASSERT_TRUE(scene.ok());

  auto desktop = openDesktop(server.name(), static_cast<std::int32_t>(getpid()), plainIdentities());
  ASSERT_TRUE(desktop.ok()) << desktop.message();
  auto engine = engineOn(desktop.value());

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

// Windows whose ids come from WM_CLASS: a notification daemon's, capitalised unlike the system
// surfaces' ids, and a helper of an excluded application that starts once the session runs.
TEST(EngineOnX11Test, NotificationsAndHelpersStartedMidSessionNeverShow) {
  runtime::VirtualRunLoop loop;
  XvfbServer server(640, 480);
  ASSERT_TRUE(server.ok());
  ASSERT_TRUE(server.startWindowManager());
  setRootBackground(server.name(), kGreen);
  TestClient beneath(
      server.name(),
      {.windowClass = "Beneath", .colour = kRed, .x = 0, .y = 0, .width = 640, .height = 480});
  TestClient notification(server.name(), {.windowClass = "Dunst",
                                          .colour = kBlue,
                                          .x = 340,
                                          .y = 20,
                                          .width = 280,
                                          .height = 120,
                                          .overrideRedirect = true});
  ASSERT_NE(notification.window(), 0u);

  auto desktop = openDesktop(server.name(), static_cast<std::int32_t>(getpid()), plainIdentities());
  ASSERT_TRUE(desktop.ok()) << desktop.message();
  auto engine = engineOn(desktop.value());
  std::mutex shownMutex;
  std::vector<SharedPixelBuffer> shown;
  auto updates = engine->outputSurface()->observeUpdates([&](const auto& snapshot) {
    std::lock_guard lock(shownMutex);
    shown.push_back(snapshot.image);
  });
  auto latest = [&] {
    std::lock_guard lock(shownMutex);
    return shown.empty() ? nullptr : shown.back();
  };

  auto started = runtime::spawn(engine->start({"Vault"}, false, {}, std::nullopt));
  ASSERT_TRUE(driveUntil(loop, [&] { return started.isDone(); }));
  ASSERT_TRUE(driveUntil(loop, [&] { return latest() && countPixels(*latest(), kRed) > 0; }))
      << engine->statusMessage.value();

  TestClient helper(server.name(), {.windowClass = "Vault.agent",
                                    .colour = kMagenta,
                                    .x = 40,
                                    .y = 200,
                                    .width = 300,
                                    .height = 200});
  ASSERT_NE(helper.window(), 0u);
  ASSERT_TRUE(waitUntil([&] { return rootRect(server.name(), helper.window()).viewable; }));
  const RootRect place = rootRect(server.name(), helper.window());
  helper.command("animate 4");
  // A window that opens once the helper is on screen: frames that show it came after the helper.
  TestClient marker(server.name(), {.windowClass = "Marker",
                                    .colour = kYellow,
                                    .x = 420,
                                    .y = 300,
                                    .width = 100,
                                    .height = 100});
  SharedPixelBuffer after;
  ASSERT_TRUE(driveUntil(loop, [&] {
    after = latest();
    return after && countPixels(*after, kYellow) > 0;
  }));
  EXPECT_EQ(after->pixel(place.centreX(), place.centreY()), opaque(kRed))
      << "the window beneath shows where the helper is";
  updates.cancel();
  {
    std::lock_guard lock(shownMutex);
    for (std::size_t i = 0; i < shown.size(); ++i) {
      EXPECT_EQ(countPixels(*shown[i], kBlue), 0u) << "the notification in frame " << i;
      EXPECT_EQ(countPixels(*shown[i], kMagenta), 0u) << "the helper in frame " << i;
    }
  }
  EXPECT_EQ(engine->phase.value(), model::ProtectedSharePhase::sharing);

  auto stopped = runtime::spawn(engine->stop());
  ASSERT_TRUE(driveUntil(loop, [&] { return stopped.isDone(); }));
  engine.reset();
  loop.runUntilIdle();
}

}  // namespace
}  // namespace corvane::platform::x11::testing
